// pktdump report: the page's drawings on the shared time axis: the axis'
// grid and labels, the marks every drawing is made of, Traffic (a row per
// capture: its datagrams per column, its sequence gaps, its records without
// arrival time and its recording lane) and Who was alive (a strip per
// workstation and per busy device, dark where it was silent).
#include <algorithm>
#include <set>

#include "report_page_internal.h"

namespace pktdump {
namespace report {
namespace html {

// Grid lines and time labels across an SVG of that height.
std::string Ticks(const Axis& axis, int height, bool labels) {
  static const std::int64_t steps[] = {1000,    2000,     5000,     10000,    15000,   30000,
                                       60000,   120000,   300000,   600000,   900000,  1800000,
                                       3600000, 7200000,  10800000, 21600000, 43200000, 86400000,
                                       172800000, 604800000};
  const std::int64_t span = axis.to - axis.from;
  std::int64_t step = steps[sizeof steps / sizeof steps[0] - 1];
  for (std::int64_t s : steps) {
    if (span / s <= 10) {
      step = s;
      break;
    }
  }
  // Years: whole weeks, about ten ticks.
  if (span / step > 10) step = (span / 10 / step + 1) * step;
  const std::int64_t offset = PageOffset(axis.from) * 1000;
  std::string out;
  for (std::int64_t t = (FloorDiv(axis.from + offset, step) + 1) * step - offset; t < axis.to;
       t += step) {
    const std::string x = Px(axis.X(t));
    out += "<line class=\"grid\" x1=\"" + x + "\" x2=\"" + x + "\" y1=\"0\" y2=\"" +
           std::to_string(height) + "\"/>";
    if (!labels) continue;
    const std::tm tm = PageParts(t);
    char text[32];
    if (span > 2 * 86400000LL) {
      std::snprintf(text, sizeof text, "%02d-%02d %02d:%02d", tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                    tm.tm_min);
    } else if (step < 60000) {
      std::snprintf(text, sizeof text, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    } else {
      std::snprintf(text, sizeof text, "%02d:%02d", tm.tm_hour, tm.tm_min);
    }
    out += "<text class=\"tick\" x=\"" + x + "\" y=\"12\">" + text + "</text>";
  }
  // Where the local clock changes (summer time begins or ends), a mark:
  // the same local time may be on the axis twice, or never.
  const std::int64_t probe = std::max<std::int64_t>(900000, span / 4000);
  for (std::int64_t a = axis.from; a < axis.to; a += probe) {
    std::int64_t b = std::min(a + probe, axis.to);
    if (PageOffset(a) == PageOffset(b)) continue;
    for (std::int64_t lo = a; b - lo > 1000;) {
      const std::int64_t mid = lo + (b - lo) / 2;
      (PageOffset(mid) == PageOffset(a) ? lo : b) = mid;
    }
    const std::string x = Px(axis.X(b));
    out += "<g class=\"clock-change\" data-time=\"" + Iso(b) + "\"><title>The local clock changes here, from UTC" +
           Zone(a) + " to UTC" + Zone(b) + "</title><line x1=\"" + x + "\" x2=\"" + x +
           "\" y1=\"0\" y2=\"" + std::to_string(height) +
           "\" stroke=\"#7b3fb5\" stroke-width=\"1.5\" stroke-dasharray=\"4 2\"/>";
    if (labels) {
      out += "<text x=\"" + Px(axis.X(b) + 3) + "\" y=\"24\" style=\"fill:#7b3fb5\">UTC" + Zone(a) +
             " \u2192 UTC" + Zone(b) + "</text>";
    }
    out += "</g>";
  }
  return out;
}

std::string SvgOpen(int height, const std::string& label) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kWidth) +
         "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(kWidth) +
         " " + std::to_string(height) + "\" role=\"img\" aria-label=\"" + label + "\">";
}

// A mark: a group carrying what it stands for.
std::string Mark(const std::string& kind, std::int64_t time, const std::string& attributes,
                 const std::string& title, const std::string& shape) {
  return "<g class=\"mark " + kind + "\" data-kind=\"" + kind + "\" data-time=\"" + Iso(time) +
         "\"" + attributes + "><title>" + Escape(title) + "</title>" + shape + "</g>";
}

// A file's buckets at the axis' column width.
std::map<std::int64_t, Buckets::Cell> Columns(const Buckets& buckets, const Axis& axis) {
  Buckets wide = buckets;
  wide.Widen(axis.column);
  std::map<std::int64_t, Buckets::Cell> out;
  for (const auto& [key, cell] : wide.Cells()) {
    const std::int64_t start = key * wide.Width();
    if (start + wide.Width() <= axis.from || start >= axis.to) continue;
    out[start] = cell;
  }
  return out;
}

namespace {

constexpr std::size_t kBusiest = 20;
constexpr std::size_t kMaxWorkstations = 60;
constexpr std::uint64_t kHeardEnough = 10;
// Traffic: a capture's row of bars, and its lane below it.
constexpr int kRowHeight = 64, kLane = 8;
// Who was alive: a strip's height, and the space under it.
constexpr int kStrip = 14, kStripGap = 4;

std::string WidthName(std::int64_t width) {
  if (width < 60000) return Fixed(width / 1000.0, 0) + " s";
  if (width < 3600000) return Fixed(width / 60000.0, 0) + " min";
  if (width < 86400000) return Fixed(width / 3600000.0, 0) + " h";
  return Fixed(width / 86400000.0, 0) + " d";
}

struct Strip {
  std::string label;
  std::int64_t first = kNoTime, last = kNoTime, usual = 0;
  std::uint64_t heard = 0;
  Spans dark;
};

// The alive rule over every file that heard it: dark where no file heard it
// for longer than twice its usual interval, and after its last hearing
// while the arrivals go on (to heardUntil) longer than that: where no record
// has a time, nobody can be said to be silent.
Strip Alive(const PageData::Heard& heard, std::int64_t heardUntil) {
  Strip strip;
  strip.heard = heard.count;
  // An interval guessed from a few hearings is no rule: below this many,
  // the strip says how often it was heard and claims no silence.
  strip.usual = heard.count >= kHeardEnough ? heard.usual : 0;
  strip.first = heard.first;
  strip.last = heard.last;
  Spans alive = heard.alive;
  alive = Union(alive);
  for (std::size_t i = 1; i < alive.size(); ++i) {
    if (strip.usual > 0 && alive[i].first - alive[i - 1].second > 2 * strip.usual) {
      strip.dark.emplace_back(alive[i - 1].second, alive[i].first);
    }
  }
  if (strip.usual > 0 && heardUntil - strip.last > 2 * strip.usual) {
    strip.dark.emplace_back(strip.last, heardUntil);
  }
  return strip;
}

// The parts of the spans that lie inside the covered ones (both sorted):
// where no file was recording, nobody is said to be silent.
Spans Within(const Spans& spans, const Spans& covered) {
  Spans out;
  for (const auto& s : spans) {
    for (const auto& c : covered) {
      const std::int64_t a = std::max(s.first, c.first), b = std::min(s.second, c.second);
      if (a < b) out.emplace_back(a, b);
    }
  }
  return out;
}

// A capture's records without arrival time: a hatched span over the hour
// its file's name gives, or a line saying that they have no place.
void UntimedMarks(Context& c, const PageData::Row& row, int y) {
  std::string& page = c.page;
  const Axis& axis = c.axis;
  int nowhere = 0;
  for (std::size_t i : row.files) {
    const PageData::File& f = c.data.files[i];
    const FileReport::Totals& n = f.numbers;
    if (n.untimed == 0) continue;
    if (f.hourStart == kNoTime) {
      nowhere += static_cast<int>(n.untimed);
      continue;
    }
    // Records without arrival: a hatched span over the name's hour.
    const std::int64_t a = std::max(f.hourStart, axis.from);
    const std::int64_t b = std::min(f.hourStart + 3600000, axis.to);
    if (a >= b) continue;
    const std::string text = Number(n.untimed) + " records without arrival time";
    page += Mark("untimed", f.hourStart,
                 " data-file=\"" + c.Label(f) + "\" data-count=\"" +
                     std::to_string(n.untimed) + "\"",
                 f.name + ": " + text,
                 "<rect class=\"untimed\" x=\"" + Px(axis.X(a)) + "\" y=\"" +
                     std::to_string(y + 2) + "\" width=\"" + Px(axis.X(b) - axis.X(a)) +
                     "\" height=\"" + std::to_string(kRowHeight - 4) + "\"/><text x=\"" +
                     Px(axis.X(a) + 6) + "\" y=\"" + std::to_string(y + 16) + "\">" + text +
                     "</text>");
  }
  if (nowhere > 0) {
    page += "<text class=\"sub\" x=\"" + std::to_string(kLeft + 8) + "\" y=\"" +
            std::to_string(y + kRowHeight / 2 + 4) + "\">" + Number(nowhere) +
            " records without arrival time, and no hour in the file's name: not on the axis</text>";
  }
}

// A capture's sequence gaps, per column, with what they lost.
void GapMarks(Context& c, const PageData::Row& row, const std::string& label, int y) {
  std::string& page = c.page;
  const Axis& axis = c.axis;
  const std::map<std::int64_t, Buckets::Cell> gaps = Columns(row.gapMarks, axis);
  const int base = y + kRowHeight;
  for (const auto& [start, cell] : gaps) {
    const double x = axis.X(std::max(cell.first, axis.from));
    const std::string title = Number(cell.a) + (cell.a == 1 ? " gap, " : " gaps, ") +
                              Number(cell.b) + " datagrams lost, from " + Shown(cell.first);
    std::string shape = "<path d=\"M" + Px(x - 5) + " " + std::to_string(y) + "h10l-5 9z\"/>"
                        "<line x1=\"" + Px(x) + "\" x2=\"" + Px(x) + "\" y1=\"" + std::to_string(y) +
                        "\" y2=\"" + std::to_string(base) + "\" stroke=\"#d32f2f\" stroke-width=\"1\" stroke-dasharray=\"2 2\"/>";
    if (gaps.size() <= 40) {
      shape += "<text x=\"" + Px(x + 6) + "\" y=\"" + std::to_string(y + 9) +
               "\" style=\"fill:#b71c1c\">" + Number(cell.b) + " lost</text>";
    }
    page += Mark("gap", cell.first,
                 " data-row=\"" + label + "\" data-count=\"" + std::to_string(cell.a) +
                     "\" data-lost=\"" + std::to_string(cell.b) + "\"",
                 title, shape);
  }
}

// The capture's lane: recording, not recording (between its runs,
// before its first and after its last), or losing (a sequence gap,
// from the record before it to the one after).
void Lane(Context& c, const PageData::Row& row, const std::string& label, int base) {
  std::string& page = c.page;
  const Axis& axis = c.axis;
  const Spans shown{{axis.from, axis.to}};
  const Spans recording = Within(row.recording, shown);
  const Spans lost = Within(row.lost, shown);
  const Spans clean = Minus(recording, lost);
  const Spans off = Minus(shown, recording);
  const int ly = base + 3;
  auto draw = [&](const Spans& spans, const char* state, const char* colour, const char* what) {
    for (const auto& [a, b] : spans) {
      const double x0 = axis.X(a), x1 = std::max(axis.X(b), x0 + 0.8);
      // Its class, where the workstations were compared.
      const std::string judged = FleetClass(c, row, state, -1, a, b);
      page += "<g class=\"lane\" data-row=\"" + label + "\" data-state=\"" + state +
              "\" data-from=\"" + Iso(a) + "\" data-to=\"" + Iso(b) + "\"" +
              (judged.empty() ? "" : " data-class=\"" + judged + "\"") + "><title>" +
              Escape(c.RowName(row)) + " " + what + " from " + Shown(a) + " to " + Shown(b) +
              FleetNote(judged) + "</title><rect x=\"" + Px(x0) + "\" y=\"" + std::to_string(ly) +
              "\" width=\"" + Px(x1 - x0) + "\" height=\"" + std::to_string(kLane) +
              "\" fill=\"" + colour + "\"/></g>";
    }
  };
  draw(clean, "recording", "#7cbf72", "recording");
  draw(off, "not-recording", "#9aa4ad", "not recording");
  draw(lost, "lost", "#d32f2f", "losing datagrams (a sequence gap)");
}

// A capture's row of Traffic at y: its label and numbers, its datagrams
// per column, then its marks and its lane.
void TrafficRow(Context& c, const PageData::Row& row, int y) {
  std::string& page = c.page;
  const Axis& axis = c.axis;
  const bool perMinute = axis.PerMinute();
  const double perUnit = perMinute ? 60000.0 : 1000.0;
  const std::map<std::int64_t, Buckets::Cell> columns = Columns(row.traffic, axis);
  const std::uint64_t records = row.records, timedRecords = row.timed;
  double peak = 0;
  for (const auto& [start, cell] : columns) {
    peak = std::max(peak, static_cast<double>(cell.a + cell.b));
  }
  const double rate = peak * perUnit / static_cast<double>(axis.column);
  const std::string label = Escape(c.RowName(row));
  page += "<g class=\"capture\" data-row=\"" + label + "\" data-files=\"" +
          std::to_string(row.files.size()) + "\" data-peak=\"" + Fixed(rate, 1) + "\">";
  page += "<rect class=\"row\" x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(y) +
          "\" width=\"" + std::to_string(kPlot) + "\" height=\"" + std::to_string(kRowHeight) + "\"/>";
  page += "<text class=\"label\" x=\"4\" y=\"" + std::to_string(y + 16) + "\">" + label + "</text>";
  page += "<text class=\"sub\" x=\"4\" y=\"" + std::to_string(y + 31) + "\">" +
          (timedRecords == 0 ? std::string("no arrival times")
                             : "peak " + Fixed(rate, rate < 10 ? 1 : 0) +
                                   (perMinute ? "/min" : "/s")) +
          "</text>";
  page += "<text class=\"sub\" x=\"4\" y=\"" + std::to_string(y + 46) + "\">" +
          Number(records) + " records" +
          (row.files.size() > 1 ? ", " + std::to_string(row.files.size()) + " files" : std::string()) +
          "</text>";
  const int base = y + kRowHeight;
  for (const auto& [start, cell] : columns) {
    if (peak <= 0) break;
    const double x0 = std::max<double>(kLeft, axis.X(start));
    const double x1 = std::min<double>(kLeft + kPlot, axis.X(start + axis.column));
    const double w = std::max(0.8, x1 - x0 - 0.2);
    const double hc = cell.a * (kRowHeight - 6) / peak, hr = cell.b * (kRowHeight - 6) / peak;
    if (hc > 0) {
      page += "<rect class=\"cmd\" x=\"" + Px(x0) + "\" y=\"" + Px(base - hc) + "\" width=\"" +
              Px(w) + "\" height=\"" + Px(hc) + "\"/>";
    }
    if (hr > 0) {
      page += "<rect class=\"rev\" x=\"" + Px(x0) + "\" y=\"" + Px(base - hc - hr) +
              "\" width=\"" + Px(w) + "\" height=\"" + Px(hr) + "\"/>";
    }
  }
  UntimedMarks(c, row, y);
  GapMarks(c, row, label, y);
  if (timedRecords > 0) Lane(c, row, label, base);
  page += "</g>";
}

// A strip of Who was alive at y: a workstation's or a device's, heard
// where green, silent where dark (only where a file was recording, and
// only what is still a silence there).
void StripRow(Context& c, const std::string& kind, int id, const PageData::Heard& heard,
              const Spans& covered, std::int64_t heardUntil, int y) {
  std::string& page = c.page;
  const Axis& axis = c.axis;
  Strip s = Alive(heard, std::min(heardUntil, axis.to));
  s.dark = Silences(heard, covered, std::min(heardUntil, axis.to));
  const std::string name = (kind == "workstation" ? "WS " : "Device ") + std::to_string(id);
  if (heard.count == 0) {
    // Asked for, and not heard where the page looks.
    page += "<g class=\"strip\" data-kind=\"" + kind + "\" data-id=\"" + std::to_string(id) +
            "\" data-heard=\"0\"><text x=\"4\" y=\"" + std::to_string(y + 11) + "\">" + name +
            "<tspan class=\"sub\"> no traffic</tspan></text><text x=\"" + std::to_string(kLeft + 4) +
            "\" y=\"" + std::to_string(y + 11) + "\">" + name +
            " sent no revertive in this window</text></g>";
    return;
  }
  page += "<g class=\"strip\" data-kind=\"" + kind + "\" data-id=\"" + std::to_string(id) +
          "\" data-usual=\"" + std::to_string(s.usual) + "\" data-heard=\"" +
          std::to_string(s.heard) + "\">";
  page += "<text x=\"4\" y=\"" + std::to_string(y + 11) + "\">" + name + "<tspan class=\"sub\"> " +
          (s.usual > 0 ? "every " + Duration(s.usual) : "heard " + Number(s.heard) + (s.heard == 1 ? " time" : " times")) +
          "</tspan></text>";
  for (const auto& [a, b] : Within({{s.first, std::max(s.last, s.first + 1)}}, covered)) {
    const double x0 = axis.X(std::max(a, axis.from)), x1 = axis.X(std::min(b, axis.to));
    page += "<rect class=\"alive\" x=\"" + Px(x0) + "\" y=\"" + std::to_string(y) +
            "\" width=\"" + Px(std::max(1.0, x1 - x0)) + "\" height=\"" +
            std::to_string(kStrip) + "\"/>";
  }
  for (const auto& [a, b] : s.dark) {
    const double d0 = axis.X(std::max(a, axis.from)), d1 = axis.X(std::min(b, axis.to));
    // Its class, where the workstations were compared.
    const std::string judged = c.strips != nullptr ? FleetClass(c, *c.strips, kind, id, a, b) : "";
    page += Mark("silence", a,
                 " data-end=\"" + Iso(b) + "\" data-seconds=\"" + Fixed((b - a) / 1000.0, 3) +
                     "\"" + (judged.empty() ? "" : " data-class=\"" + judged + "\""),
                 name + " silent for " + Duration(b - a) + " from " + Shown(a) + FleetNote(judged),
                 "<rect class=\"dark\" x=\"" + Px(d0) + "\" y=\"" + std::to_string(y) +
                     "\" width=\"" + Px(std::max(1.0, d1 - d0)) + "\" height=\"" +
                     std::to_string(kStrip) + "\"" + FleetOutline(judged) + "/>");
  }
  page += "</g>";
}

// Numbers as runs: "3, 5-9, 14".
std::string NumberList(const std::set<int>& numbers) {
  std::string out;
  for (auto it = numbers.begin(); it != numbers.end();) {
    const int first = *it;
    int last = first;
    for (++it; it != numbers.end() && *it == last + 1; ++it) last = *it;
    out += (out.empty() ? "" : ", ") + std::to_string(first);
    if (last != first) out += (last == first + 1 ? ", " : "\u2013") + std::to_string(last);
  }
  return out;
}

// One set of strips: the page's with one capture; with several, a set per
// capture, each silent only where that capture recorded and lost nothing.
void Strips(Context& c, const std::string& title, const std::map<int, PageData::Heard>& workstations,
            const std::map<int, PageData::Heard>& devices, const Spans& covered,
            std::int64_t heardUntil) {
  std::string& page = c.page;
  std::map<int, std::uint64_t> revertiveCounts;
  for (const auto& [d, heard] : devices) revertiveCounts[d] = heard.count;
  if (!title.empty()) page += "<h3 class=\"capture-strips\">" + Escape(title) + "</h3>\n";
  std::vector<std::pair<std::uint64_t, int>> busiest;
  const std::vector<int>& asked = c.options.devices;
  if (asked.empty()) {
    for (const auto& [d, count] : revertiveCounts) busiest.emplace_back(count, d);
    std::sort(busiest.begin(), busiest.end(), [](const auto& a, const auto& b) {
      return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    busiest.resize(std::min(busiest.size(), kBusiest));
  } else {
    // Those asked for, in number order, whatever their traffic.
    for (int d : std::set<int>(asked.begin(), asked.end())) {
      const auto it = revertiveCounts.find(d);
      busiest.emplace_back(it == revertiveCounts.end() ? 0 : it->second, d);
    }
  }
  std::set<int> notDrawn;
  for (const auto& [d, count] : revertiveCounts) notDrawn.insert(d);
  for (const auto& [count, d] : busiest) notDrawn.erase(d);
  const std::string chosen =
      asked.empty() ? "the " + std::to_string(busiest.size()) + " busiest"
                    : std::string("those asked for with --device");
  const std::size_t restWorkstations =
      workstations.size() > kMaxWorkstations ? workstations.size() - kMaxWorkstations : 0;
  page += "<p class=\"legend\"><span><i class=\"sw\" style=\"background:#b8e0b0\"></i>heard</span>"
          "<span><i class=\"sw\" style=\"background:#2b2b2b\"></i>silent for longer than twice its "
          "usual interval while a file was recording</span>Workstations by their heartbeat revertives; devices by the "
          "revertives that give them lines (" + chosen + ")." +
          (notDrawn.empty() ? std::string()
                            : " <span class=\"not-drawn\" data-count=\"" +
                                  std::to_string(notDrawn.size()) + "\">Not drawn: device" +
                                  (notDrawn.size() == 1 ? " " : "s ") + NumberList(notDrawn) +
                                  " (<code>--device N</code> draws one).</span>") +
          "</p>\n";
  const int top = 18;
  const std::size_t rows = std::min(workstations.size(), kMaxWorkstations) + busiest.size() +
                           (workstations.empty() ? 0 : 1) + (busiest.empty() ? 0 : 1);
  const int height = top + static_cast<int>(rows) * (kStrip + kStripGap) + 6;
  page += SvgOpen(height, "Who was alive");
  page += Ticks(c.axis, height, true);
  int y = top;
  if (!workstations.empty()) {
    page += "<text class=\"label\" x=\"4\" y=\"" + std::to_string(y + 11) + "\">Workstations" +
            (restWorkstations ? " (" + std::to_string(restWorkstations) + " more not drawn)" : std::string()) +
            "</text>";
    y += kStrip + kStripGap;
    std::size_t n = 0;
    for (const auto& [ws, heard] : workstations) {
      if (n++ == kMaxWorkstations) break;
      StripRow(c, "workstation", ws, heard, covered, heardUntil, y);
      y += kStrip + kStripGap;
    }
  }
  if (!busiest.empty()) {
    page += "<text class=\"label\" x=\"4\" y=\"" + std::to_string(y + 11) + "\">Devices</text>";
    y += kStrip + kStripGap;
    for (const auto& [count, d] : busiest) {
      const auto it = devices.find(d);
      StripRow(c, "device", d, it == devices.end() ? PageData::Heard() : it->second, covered,
               heardUntil, y);
      y += kStrip + kStripGap;
    }
  }
  page += "</svg>\n";
}

}  // namespace

}  // namespace html

// Dark where it was silent, only where a file was recording, and only what
// is still a silence there.
PageData::Spans Silences(const PageData::Heard& heard, const PageData::Spans& covered,
                         std::int64_t until) {
  const html::Strip s = html::Alive(heard, until);
  PageData::Spans dark;
  for (const auto& d : html::Within(s.dark, covered)) {
    if (d.second - d.first > 2 * s.usual) dark.push_back(d);
  }
  return dark;
}

namespace html {

void WriteTraffic(Context& c) {
  std::string& page = c.page;
  const Axis& axis = c.axis;
  page += "<h2 id=\"traffic\">Traffic</h2>\n";
  if (!axis.known) {
    page += "<p>Missing: no time axis (see above).</p>\n";
    return;
  }
  page += "<p class=\"legend\"><span><i class=\"sw\" style=\"background:#1f6fb2\"></i>commands</span>"
          "<span><i class=\"sw\" style=\"background:#e08a1e\"></i>revertives</span>"
          "<span><i class=\"sw\" style=\"background:#d32f2f\"></i>sequence gap (datagrams lost)</span>"
          "<span><i class=\"sw\" style=\"background:#7cbf72\"></i>capture recording</span>"
          "<span><i class=\"sw\" style=\"background:#9aa4ad\"></i>capture not recording</span>"
          "<span><i class=\"sw\" style=\"background:repeating-linear-gradient(45deg,#c5ccd2 0 3px,#fff 3px 6px)\"></i>no arrival time</span>"
          "Datagrams per " + std::string(axis.PerMinute() ? "minute" : "second") + ", in buckets of " +
          WidthName(axis.column) + ".</p>\n";
  // A row per capture: the files of one folder (a workstation's hours).
  const std::vector<PageData::Row>& rows = c.data.rows;
  const int top = 18;
  const int height = top + static_cast<int>(rows.size()) * (kRowHeight + kLane + 14);
  page += SvgOpen(height, "Traffic per capture");
  page += "<defs><pattern id=\"hatch\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
          "patternTransform=\"rotate(45)\"><rect width=\"3\" height=\"6\" fill=\"#c5ccd2\"/></pattern></defs>";
  page += Ticks(axis, height, true);
  int y = top;
  for (const PageData::Row& row : rows) {
    TrafficRow(c, row, y);
    y += kRowHeight + kLane + 14;
  }
  page += "</svg>\n";
}

void WriteAlive(Context& c) {
  std::string& page = c.page;
  const PageData& data = c.data;
  page += "<h2 id=\"alive\">Who was alive</h2>\n";
  const std::map<int, PageData::Heard>& workstations = data.workstations;
  const std::map<int, PageData::Heard>& devices = data.devices;
  const bool asked = !c.options.devices.empty();
  if (c.axis.known && (!workstations.empty() || !devices.empty() || asked)) {
    if (data.rows.size() < 2) {
      Strips(c, std::string(), workstations, devices, data.covered, data.heardUntil);
    } else {
      for (const PageData::Row& row : data.rows) {
        if (row.workstations.empty() && row.devices.empty() && !asked) continue;
        std::int64_t until = INT64_MIN;
        for (std::size_t i : row.files) {
          const FileReport::Totals& n = data.files[i].numbers;
          if (n.last != kNoTime) until = std::max(until, n.last + 1);
        }
        c.strips = &row;
        Strips(c, "Heard by " + c.RowName(row), row.workstations, row.devices,
               Minus(Minus(row.recording, row.lost), row.notGiven), until);
        c.strips = nullptr;
      }
    }
  } else {
    page += "<p>Missing: " +
            std::string(c.axis.known && c.timed > 0
                            ? "no heartbeat or device revertive was heard."
                            : "it needs arrival times, and no record carries one (PacketTimes off).") +
            "</p>\n";
  }
}

}  // namespace html
}  // namespace report
}  // namespace pktdump
