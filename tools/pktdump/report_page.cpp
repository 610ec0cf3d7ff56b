// pktdump report: the page. One HTML file with inline CSS and SVG, no
// script, nothing fetched. Every section shares one horizontal time axis
// (local time, its zone said); every mark is an SVG group carrying its
// kind and time as attributes (data-kind, data-time, data-count ...), so
// that a test, or a script of the reader's, can read the page back.
#include <algorithm>
#include <cstring>
#include <ctime>
#include <set>

#include "report.h"

#include "core/packet_file.h"

namespace pktdump {
namespace report {

namespace {

constexpr int kLeft = 190;   // the labels' column
constexpr int kPlot = 1000;  // the plot's width
constexpr int kWidth = kLeft + kPlot + 30;
constexpr int kMaxColumns = 500;
constexpr std::size_t kBusiest = 20;
constexpr std::size_t kMaxWorkstations = 60;
constexpr std::size_t kTableRows = 200;  // of each kind
constexpr std::uint64_t kHeardEnough = 10;
constexpr std::size_t kNotesShown = 12;  // of the reading's messages

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

std::tm Local(std::int64_t ms) {
  const std::time_t seconds = static_cast<std::time_t>(FloorDiv(ms, 1000));
  std::tm t{};
#ifdef _WIN32
  localtime_s(&t, &seconds);
#else
  localtime_r(&seconds, &t);
#endif
  return t;
}

// Seconds east of UTC at that time.
long OffsetAt(std::int64_t ms) {
  std::tm t = Local(ms);
#ifdef _WIN32
  const std::time_t asUtc = _mkgmtime(&t);
#else
  const std::time_t asUtc = timegm(&t);
#endif
  return static_cast<long>(asUtc - static_cast<std::time_t>(FloorDiv(ms, 1000)));
}

std::string Zone(std::int64_t ms) {
  const long offset = OffsetAt(ms);
  char text[32];
  std::snprintf(text, sizeof text, "%c%02ld:%02ld", offset < 0 ? '-' : '+', std::labs(offset) / 3600,
                std::labs(offset) % 3600 / 60);
  return text;
}

// "2026-12-09T07:12:03.250+01:00": the attribute form.
std::string Iso(std::int64_t ms) {
  if (ms == kNoTime) return "";
  const std::tm t = Local(ms);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%s", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                static_cast<int>(ms - FloorDiv(ms, 1000) * 1000), Zone(ms).c_str());
  return text;
}

// "2026-12-09 07:12:03.250": the reader's form.
std::string Shown(std::int64_t ms) {
  if (ms == kNoTime) return "no arrival time";
  std::string iso = Iso(ms);
  iso[10] = ' ';
  return iso.substr(0, 23);
}

std::string Escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default:
        if (c < 32 || c > 126) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

std::string Number(std::uint64_t n) {
  std::string digits = std::to_string(n), out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string Duration(std::int64_t ms) {
  char text[64];
  if (ms < 60000) {
    std::snprintf(text, sizeof text, "%.1f s", ms / 1000.0);
  } else if (ms < 3600000) {
    std::snprintf(text, sizeof text, "%lld min %02lld s", static_cast<long long>(ms / 60000),
                  static_cast<long long>(ms / 1000 % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld h %02lld min", static_cast<long long>(ms / 3600000),
                  static_cast<long long>(ms / 60000 % 60));
  }
  return text;
}

std::string WidthName(std::int64_t width) {
  if (width < 60000) return Fixed(width / 1000.0, 0) + " s";
  if (width < 3600000) return Fixed(width / 60000.0, 0) + " min";
  if (width < 86400000) return Fixed(width / 3600000.0, 0) + " h";
  return Fixed(width / 86400000.0, 0) + " d";
}

// The shared axis.
struct Axis {
  std::int64_t from = 0, to = 1;  // ms, to exclusive
  std::int64_t column = 1000;     // the display buckets' width
  bool known = false;
  double X(std::int64_t ms) const {
    return kLeft + static_cast<double>(ms - from) * kPlot / static_cast<double>(to - from);
  }
  bool Holds(std::int64_t ms) const { return ms >= from && ms < to; }
};

std::string Px(double x) { return Fixed(x, 1); }

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
  const std::int64_t offset = OffsetAt(axis.from) * 1000;
  std::string out;
  for (std::int64_t t = (FloorDiv(axis.from + offset, step) + 1) * step - offset; t < axis.to;
       t += step) {
    const std::string x = Px(axis.X(t));
    out += "<line class=\"grid\" x1=\"" + x + "\" x2=\"" + x + "\" y1=\"0\" y2=\"" +
           std::to_string(height) + "\"/>";
    if (!labels) continue;
    const std::tm tm = Local(t);
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
    if (OffsetAt(a) == OffsetAt(b)) continue;
    for (std::int64_t lo = a; b - lo > 1000;) {
      const std::int64_t mid = lo + (b - lo) / 2;
      (OffsetAt(mid) == OffsetAt(a) ? lo : b) = mid;
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

// Spans [from, to) minus the spans cut, all sorted.
using Spans = std::vector<std::pair<std::int64_t, std::int64_t>>;
Spans Union(Spans spans) {
  std::sort(spans.begin(), spans.end());
  Spans out;
  for (const auto& s : spans) {
    if (!out.empty() && s.first <= out.back().second) {
      out.back().second = std::max(out.back().second, s.second);
    } else {
      out.push_back(s);
    }
  }
  return out;
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

const char* EventColour(const std::string& kind) {
  if (kind == "clock-set") return "#7b3fb5";
  if (kind == "errorlog") return "#c62828";
  if (kind == "bad record") return "#000000";
  return "#d18b00";
}

const char kStyle[] = R"(
body{font:14px/1.4 system-ui,-apple-system,"Segoe UI",Roboto,"Helvetica Neue",Arial,sans-serif;color:#1d2329;background:#fff;margin:16px 24px;max-width:1240px}
h1{font-size:22px;margin:0 0 4px}h2{font-size:17px;margin:22px 0 6px;border-bottom:1px solid #ccd3da;padding-bottom:2px}
.meta{color:#4a5560;margin:2px 0}.notes{background:#fff6e0;border-left:4px solid #e0a000;padding:6px 12px;margin:10px 0}
.notes li{margin:2px 0}.legend span{display:inline-block;margin-right:16px}.sw{display:inline-block;width:12px;height:12px;vertical-align:-1px;margin-right:4px;border:1px solid #0003}
svg{display:block;overflow:visible;margin:4px 0}svg text{font:11px system-ui,Arial,sans-serif;fill:#1d2329}
.grid{stroke:#dde3e8;stroke-width:1}.tick{text-anchor:middle;fill:#5a6570}.label{font-weight:600}.sub{fill:#5a6570}
.row{fill:#f5f7f9}.cmd{fill:#1f6fb2}.rev{fill:#e08a1e}.untimed{fill:url(#hatch);stroke:#8a96a0}
.gap path{fill:#d32f2f}.alive{fill:#b8e0b0}.dark{fill:#2b2b2b}
table{border-collapse:collapse;margin:6px 0;font-size:13px}th,td{border:1px solid #d5dbe0;padding:3px 7px;text-align:left;vertical-align:top}
th{background:#eef2f5}td.n{text-align:right;font-variant-numeric:tabular-nums}td.t{white-space:nowrap;font-variant-numeric:tabular-nums}
td.x{font-family:ui-monospace,Consolas,"DejaVu Sans Mono",monospace;font-size:12px;word-break:break-all}
@media print{body{margin:0;max-width:none}h2{break-after:avoid}svg{break-inside:avoid}}
)";

}  // namespace

namespace {

// Spans without overlaps, and never more than a bound: the closest are
// joined, so that a capture that lost all day keeps a page of bounded size.
void Bound(Spans& spans, std::size_t limit = 4096) {
  spans = Union(std::move(spans));
  for (std::int64_t close = 1000; spans.size() > limit; close *= 2) {
    Spans joined;
    for (const auto& s : spans) {
      if (!joined.empty() && s.first - joined.back().second <= close) {
        joined.back().second = std::max(joined.back().second, s.second);
      } else {
        joined.push_back(s);
      }
    }
    spans.swap(joined);
  }
}

// Spans minus the spans cut (both sorted, without overlaps).
Spans Minus(const Spans& spans, const Spans& cut) {
  Spans out;
  for (auto s : spans) {
    for (const auto& c : cut) {
      if (c.second <= s.first || c.first >= s.second) continue;
      if (c.first > s.first) out.emplace_back(s.first, c.first);
      s.first = std::max(s.first, c.second);
      if (s.first >= s.second) break;
    }
    if (s.first < s.second) out.push_back(s);
  }
  return out;
}

}  // namespace

void PageData::Note(std::size_t file, const Event& e) {
  ++eventCounts[e.kind];
  ++allEvents;
  if (e.time != kNoTime) eventMarks[e.kind].Add(e.time, 1);
  Keep(file, e);
}

// Of each kind the earliest a table lists (no time after every time; equal
// times in the order they come).
void PageData::Keep(std::size_t file, const Event& e) {
  auto when = [](const Event& x) { return x.time == kNoTime ? INT64_MAX : x.time; };
  std::vector<Listed>& kept = events[e.kind];
  if (kept.size() >= kTableRows && when(kept.back().event) <= when(e)) return;
  auto at = std::upper_bound(kept.begin(), kept.end(), when(e),
                             [&](std::int64_t t, const Listed& l) { return t < when(l.event); });
  Listed listed{e, file};
  listed.event.text = e.text.substr(0, 300);
  kept.insert(at, std::move(listed));
  if (kept.size() > kTableRows) kept.pop_back();
}

void PageData::Apply(Row& row, const varnet::RunEvent& e) {
  const bool in = e.time == varnet::kNoRunTime ? !window.Narrowed() : window.Holds(e.time);
  FileReport::Totals& n = files[static_cast<std::size_t>(e.file)].numbers;
  switch (e.kind) {
    case varnet::RunEvent::kGap:
      // Lost from the record before the gap to the one after it, wherever
      // the window is: no silence is claimed there.
      if (e.time != varnet::kNoRunTime) {
        row.lost.emplace_back(e.beforeTime != varnet::kNoRunTime ? std::min(e.beforeTime, e.time)
                                                                  : e.time,
                              std::max(e.beforeTime, e.time) + 1);
        if (row.lost.size() > 8192) Bound(row.lost);
      }
      if (!in) return;
      ++n.gaps;
      n.lost += e.lost;
      ++row.gaps;
      row.lostCount += e.lost;
      if (e.time != varnet::kNoRunTime) row.gapMarks.Add(e.time, 1, e.lost);
      ++gapsCounted;
      if (gaps.size() < kTableRows) {
        gaps.emplace_back(FileReport::Gap{e.time == varnet::kNoRunTime ? kNoTime : e.time, e.from, e.to},
                          static_cast<std::size_t>(e.file));
      }
      return;
    case varnet::RunEvent::kMissing:
      if (in) n.missing += e.lost;
      return;
    case varnet::RunEvent::kEarlier:
      if (!in) return;
      n.earlier += e.lost;
      n.earlierFrom = e.from;
      n.earlierTo = e.to;
      return;
    case varnet::RunEvent::kRepeat:
      if (in) n.repeats += e.lost;
      return;
    case varnet::RunEvent::kNewRun: {
      if (!in) return;
      ++n.runs;
      Event event;
      event.time = e.time == varnet::kNoRunTime ? kNoTime : e.time;
      event.record = e.record;
      event.kind = "new run";
      event.text = EventText(e);
      Note(static_cast<std::size_t>(e.file), event);
      return;
    }
  }
}

void PageData::Fold(const FileReport& f) {
  const std::size_t index = files.size();
  File file;
  file.name = f.Name();
  file.folder = f.Folder();
  file.hourStart = f.HourStart();
  file.numbers = f.Numbers();
  auto top = [](const auto& counts, auto name) {
    std::vector<std::pair<std::uint64_t, std::string>> v;
    for (const auto& [key, count] : counts) v.emplace_back(count, name(key));
    std::sort(v.begin(), v.end(), [](const auto& a, const auto& b) {
      return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    std::string out;
    for (std::size_t i = 0; i < v.size() && i < 5; ++i) {
      out += (i ? ", " : "") + Escape(v[i].second) + " (" + Number(v[i].first) + ")";
    }
    return out;
  };
  file.busiestDevices = top(f.DeviceCounts(), [](int d) { return std::to_string(d); });
  file.busiestKinds = top(f.KindCounts(), [](const std::string& k) { return k; });
  files.push_back(std::move(file));
  const FileReport::Totals& n = f.Numbers();

  // Its row of Traffic: the files of its folder, one capture.
  auto row = std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r.folder == f.Folder(); });
  if (row == rows.end()) {
    rows.emplace_back();
    row = rows.end() - 1;
    row->folder = f.Folder();
  }
  row->files.push_back(index);
  row->records += n.records;
  row->timed += n.timed;
  row->traffic.Merge(f.Traffic());
  widest = std::max(widest, f.Traffic().Width());

  // The capture's sequence goes on from its file before: gaps across the
  // hour change, runs a clock set back interleaved, the wrap.
  std::shared_ptr<varnet::CaptureRuns>& capture = captures[f.Folder()];
  if (capture == nullptr) capture = std::make_shared<varnet::CaptureRuns>();
  const std::int64_t hour = varnet::NaiveHourOf(f.Name());
  capture->Fold(f.Runs(), static_cast<int>(index), hour == varnet::kNoHour ? varnet::kNoRunTime : hour);
  for (const varnet::RunEvent& e : capture->Take()) Apply(*row, e);

  // Who was alive. The silences are known as silences only against the
  // usual interval of every file together, which can only grow: hearings
  // apart by no more than twice the usual interval so far are joined now.
  if (!f.Workstations().empty()) heartbeats = true;
  if (n.last != kNoTime) heardUntil = std::max(heardUntil, n.last + 1);
  auto hear = [](Heard& h, const Liveness& l) {
    h.count += l.Count();
    h.usual = std::max(h.usual, l.Usual());
    if (h.first == kNoTime || l.First() < h.first) h.first = l.First();
    if (h.last == kNoTime || l.Last() > h.last) h.last = l.Last();
    std::int64_t at = l.First();
    for (const auto& s : l.Silences()) {
      h.alive.emplace_back(at, s.first);
      at = s.second;
    }
    h.alive.emplace_back(at, l.Last());
    Spans joined;
    for (const auto& s : Union(h.alive)) {
      if (!joined.empty() && s.first - joined.back().second <= 2 * h.usual) {
        joined.back().second = std::max(joined.back().second, s.second);
      } else {
        joined.push_back(s);
      }
    }
    h.alive.swap(joined);
  };
  for (const auto& [ws, l] : f.Workstations()) {
    hear(workstations[ws], l);
    hear(row->workstations[ws], l);
  }
  for (const auto& [d, l] : f.Devices()) {
    hear(devices[d], l);
    hear(row->devices[d], l);
    revertiveCounts[d] += l.Count();
  }

  // Events: counted all, marked per column, and of each kind the earliest
  // a table lists (no time after every time; equal times in file order).
  for (const auto& [kind, count] : f.EventCounts()) {
    eventCounts[kind] += count;
    allEvents += count;
  }
  for (const auto& [kind, marks] : f.EventMarks()) eventMarks[kind].Merge(marks);
  for (const Event& e : f.Events()) Keep(index, e);
}

void PageData::Finish() {
  covered.clear();
  for (Row& row : rows) {
    auto it = captures.find(row.folder);
    if (it == captures.end()) continue;
    it->second->Finish();
    for (const varnet::RunEvent& e : it->second->Take()) Apply(row, e);
    row.recording.clear();
    for (const varnet::RecordingSpan& r : it->second->Recording()) {
      row.recording.emplace_back(r.from, r.to + 1);
    }
    Bound(row.recording);
    Bound(row.lost);
    // Where this capture recorded and lost nothing, a silence is a silence.
    for (const auto& s : Minus(row.recording, row.lost)) covered.push_back(s);
  }
  covered = Union(covered);
  captures.clear();
}

std::string RenderPage(const std::vector<const FileReport*>& files, const PageOptions& options) {
  PageData data;
  data.window = options.window;
  for (const FileReport* f : files) data.Fold(*f);
  data.Finish();
  return RenderPage(data, options);
}

std::string RenderPage(const PageData& data, const PageOptions& options) {
  const std::vector<PageData::File>& files = data.files;
  // The axis: the window, else the arrivals and the hours of untimed files.
  Axis axis;
  std::int64_t from = INT64_MAX, to = INT64_MIN;
  for (const PageData::File& f : files) {
    const FileReport::Totals& n = f.numbers;
    if (n.first != kNoTime) {
      from = std::min(from, n.first);
      to = std::max(to, n.last + 1);
    }
    if (n.untimed > 0 && f.hourStart != kNoTime) {
      from = std::min(from, f.hourStart);
      to = std::max(to, f.hourStart + 3600000);
    }
  }
  if (options.window.from != INT64_MIN) from = options.window.from;
  if (options.window.to != INT64_MAX) to = options.window.to;
  axis.known = from < to && from != INT64_MAX;
  if (axis.known) {
    axis.from = from;
    axis.to = to;
    // Display columns: the coarsest the files' buckets need, and no more
    // than the plot holds.
    axis.column = 1000;
    axis.column = std::max(axis.column, data.widest);
    while ((axis.to - axis.from) / axis.column > kMaxColumns) {
      axis.column = Buckets::NextWidth(axis.column);
    }
  }
  const bool perMinute = axis.column >= 60000;
  const double perUnit = perMinute ? 60000.0 : 1000.0;

  std::string page;
  page.reserve(1 << 18);
  page += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
          "<meta name=\"viewport\" content=\"width=device-width\">"
          "<title>Packet report</title><style>";
  page += kStyle;
  page += "</style></head><body>\n<h1>Packet report</h1>\n";
  // Files of several folders are named with their folder.
  std::set<std::string> folders;
  for (const PageData::File& f : files) folders.insert(f.folder);
  auto folderName = [](std::string folder) {
    while (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    const std::size_t slash = folder.find_last_of("/\\");
    return (slash == std::string::npos ? folder : folder.substr(slash + 1)) + "/";
  };
  auto Label = [&](const PageData::File& f) {
    return Escape(folders.size() > 1 ? folderName(f.folder) + f.name : f.name);
  };
  std::string names;
  if (files.size() <= 8) {
    for (std::size_t i = 0; i < files.size(); ++i) names += (i ? ", " : "") + Label(files[i]);
  } else {
    std::string from = files.front().name, to = from;
    for (const PageData::File& f : files) {
      from = std::min(from, f.name);
      to = std::max(to, f.name);
    }
    names = std::to_string(files.size()) + " files, " + Escape(from) + " to " + Escape(to);
    if (folders.size() > 1) {
      names += ", in " + std::to_string(folders.size()) + " folders:";
      std::size_t n = 0;
      for (const std::string& folder : folders) {
        if (n++ == 8) {
          names += " ...";
          break;
        }
        names += " " + Escape(folderName(folder));
      }
    }
  }
  page += "<p class=\"meta\">Files: " + names + "</p>\n";
  if (axis.known) {
    char zone[64] = "";
    const std::tm t = Local(axis.from);
    std::strftime(zone, sizeof zone, "%Z", &t);
    page += "<p class=\"meta\" id=\"span\" data-from=\"" + Iso(axis.from) + "\" data-to=\"" +
            Iso(axis.to) + "\">From " + Shown(axis.from) + " to " + Shown(axis.to) + " (" +
            Duration(axis.to - axis.from) + "). Times are local time, " + Escape(zone) + " (UTC" +
            Zone(axis.from) + "), as this machine keeps it; arrivals are recorded in UTC.</p>\n";
  }

  std::map<const PageData::Row*, std::string> rowNames;
  {
    const std::vector<PageData::Row>& rows = data.rows;
  // Rows are named by their folder: its last part, or as many parts as
  // tell two folders apart (a/ws12/ and b/ws12/).
  std::vector<std::vector<std::string>> parts(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::string folder = rows[i].folder, part;
    for (char c : folder + "/") {
      if (c == '/' || c == '\\') {
        if (!part.empty()) parts[i].insert(parts[i].begin(), part);
        part.clear();
      } else {
        part += c;
      }
    }
  }
  std::vector<std::size_t> depth(rows.size(), 1);
  auto named = [&](std::size_t i) {
    std::string label;
    for (std::size_t d = std::min(depth[i], parts[i].size()); d > 0; --d) label += parts[i][d - 1] + "/";
    return label.empty() ? std::string("./") : label;
  };
  for (bool again = true; again;) {
    again = false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      for (std::size_t j = i + 1; j < rows.size(); ++j) {
        if (named(i) != named(j)) continue;
        if (depth[i] < parts[i].size() || depth[j] < parts[j].size()) {
          ++depth[i];
          ++depth[j];
          again = true;
        }
      }
    }
  }
  
  for (std::size_t i = 0; i < rows.size(); ++i) rowNames[&rows[i]] = named(i);
  }
  // What the page cannot show, and why.
  std::vector<std::string> notes;
  // The reading's messages, the first of them: one wrong file under
  // --keep-going must not bury the page (all are on standard error).
  for (std::size_t i = 0; i < options.notes.size() && i < kNotesShown; ++i) {
    notes.push_back(Escape(options.notes[i]));
  }
  if (options.notes.size() > kNotesShown) {
    notes.push_back("and " + Number(options.notes.size() - kNotesShown) +
                    " more messages about the files, on standard error");
  }
  std::uint64_t timed = 0, outside = 0, inWindow = 0;
  const bool heartbeats = data.heartbeats;
  for (const PageData::File& f : files) {
    const FileReport::Totals& n = f.numbers;
    timed += n.timed;
    outside += n.outside;
    inWindow += n.records;
    if (n.missing != 0) {
      notes.push_back(Label(f) + ": " + Number(n.missing) +
                      (n.missing == 1 ? " datagram is" : " datagrams are") +
                      " not in these files: their numbers fall between it and the file before it, "
                      "and the hour files between are not among those given (not counted lost)");
    }
    if (n.earlier != 0) {
      notes.push_back(Label(f) + ": " + Number(n.earlier) +
                      (n.earlier == 1 ? " datagram" : " datagrams") + " not in these files (sequence " +
                      std::to_string(n.earlierFrom) + " to " + std::to_string(n.earlierTo) +
                      "): lost, or in an earlier file" +
                      (options.window.Narrowed() ? " or before the window" : ""));
    }
    if (n.untimed == 0) continue;
    std::string note = Label(f) + ": " + Number(n.untimed) +
                       " records carry no arrival time (recorded with PacketTimes off). They count "
                       "in Numbers and their events are listed without a time, but they give no "
                       "rates, no sequence gaps and no alive strips";
    if (f.hourStart != kNoTime) {
      note += "; Traffic shows them as one hatched span over the hour the file's name gives.";
    } else {
      note += ", and the file's name gives no hour (PKT_YYYYMMDD.HH), so they have no place on "
              "the time axis at all.";
    }
    notes.push_back(note);
  }
  // Each capture's hours that are not given, where numbers are missing.
  for (const PageData::Row& row : data.rows) {
    std::vector<const PageData::File*> hours;
    for (std::size_t i : row.files) {
      if (files[i].hourStart != kNoTime) hours.push_back(&files[i]);
    }
    std::sort(hours.begin(), hours.end(), [](const PageData::File* a, const PageData::File* b) {
      return a->hourStart < b->hourStart;
    });
    for (std::size_t i = 1; i < hours.size(); ++i) {
      if (hours[i]->numbers.missing == 0) continue;
      std::string missing;
      int n = 0;
      for (std::int64_t h = hours[i - 1]->hourStart + 3600000; h < hours[i]->hourStart; h += 3600000) {
        if (n++ == 6) {
          missing += ", ...";
          break;
        }
        const std::tm t = Local(h);
        char name[varnet::kPacketNameSize];
        varnet::PacketFileName({t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour}, name);
        missing += (missing.empty() ? "" : ", ") + std::string(name);
      }
      notes.push_back(Escape(rowNames[&row]) + ": the hour " + (n == 1 ? "file " : "files ") +
                      missing + " between " + Escape(hours[i - 1]->name) + " and " +
                      Escape(hours[i]->name) + " " + (n == 1 ? "is" : "are") + " missing");
    }
  }
  if (options.window.Narrowed() && inWindow == 0) {
    notes.push_back("No record falls in the window asked for (" +
                    (options.window.from != INT64_MIN ? Shown(options.window.from) : std::string("the start")) +
                    " to " + (options.window.to != INT64_MAX ? Shown(options.window.to) : std::string("the end")) +
                    "): the files' " + Number(outside) + " records are all outside it.");
  } else if (!axis.known) {
    notes.push_back("No record carries an arrival time and no file's name gives an hour: there is "
                    "no time axis, so Traffic, Who was alive and the event marks are missing; "
                    "Numbers and the events table are complete.");
  } else if (timed == 0) {
    notes.push_back("No record carries an arrival time: Traffic shows only the hours the files' "
                    "names give, and Who was alive is missing (it needs arrival times).");
  } else if (!heartbeats) {
    notes.push_back("No heartbeat revertive (HB) was heard: there is no workstation strip.");
  }
  if (options.window.Narrowed() && inWindow != 0) {
    notes.push_back("Narrowed to the window asked for; " + Number(outside) +
                    " records outside it are left out of every part.");
  }
  if (!notes.empty()) {
    page += "<ul class=\"notes\" id=\"notes\">";
    for (const std::string& n : notes) page += "<li>" + n + "</li>";
    page += "</ul>\n";
  }

  // ---- Traffic
  page += "<h2 id=\"traffic\">Traffic</h2>\n";
  if (axis.known) {
    page += "<p class=\"legend\"><span><i class=\"sw\" style=\"background:#1f6fb2\"></i>commands</span>"
            "<span><i class=\"sw\" style=\"background:#e08a1e\"></i>revertives</span>"
            "<span><i class=\"sw\" style=\"background:#d32f2f\"></i>sequence gap (datagrams lost)</span>"
            "<span><i class=\"sw\" style=\"background:#7cbf72\"></i>capture recording</span>"
            "<span><i class=\"sw\" style=\"background:#9aa4ad\"></i>capture not recording</span>"
            "<span><i class=\"sw\" style=\"background:repeating-linear-gradient(45deg,#c5ccd2 0 3px,#fff 3px 6px)\"></i>no arrival time</span>"
            "Datagrams per " + std::string(perMinute ? "minute" : "second") + ", in buckets of " +
            WidthName(axis.column) + ".</p>\n";
    // A row per capture: the files of one folder (a workstation's hours).
    const std::vector<PageData::Row>& rows = data.rows;
    auto rowLabel = [&](const PageData::Row& r) { return rowNames[&r]; };
    const int rowHeight = 64, top = 18, lane = 8;
    const int height = top + static_cast<int>(rows.size()) * (rowHeight + lane + 14);
    page += SvgOpen(height, "Traffic per capture");
    page += "<defs><pattern id=\"hatch\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
            "patternTransform=\"rotate(45)\"><rect width=\"3\" height=\"6\" fill=\"#c5ccd2\"/></pattern></defs>";
    page += Ticks(axis, height, true);
    int y = top;
    for (const PageData::Row& row : rows) {
      const std::map<std::int64_t, Buckets::Cell> columns = Columns(row.traffic, axis);
      const std::map<std::int64_t, Buckets::Cell> gaps = Columns(row.gapMarks, axis);
      const std::uint64_t records = row.records, timedRecords = row.timed;
      double peak = 0;
      for (const auto& [start, cell] : columns) {
        peak = std::max(peak, static_cast<double>(cell.a + cell.b));
      }
      const double rate = peak * perUnit / static_cast<double>(axis.column);
      const std::string label = Escape(rowLabel(row));
      page += "<g class=\"capture\" data-row=\"" + label + "\" data-files=\"" +
              std::to_string(row.files.size()) + "\" data-peak=\"" + Fixed(rate, 1) + "\">";
      page += "<rect class=\"row\" x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(y) +
              "\" width=\"" + std::to_string(kPlot) + "\" height=\"" + std::to_string(rowHeight) + "\"/>";
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
      const int base = y + rowHeight;
      for (const auto& [start, cell] : columns) {
        if (peak <= 0) break;
        const double x0 = std::max<double>(kLeft, axis.X(start));
        const double x1 = std::min<double>(kLeft + kPlot, axis.X(start + axis.column));
        const double w = std::max(0.8, x1 - x0 - 0.2);
        const double hc = cell.a * (rowHeight - 6) / peak, hr = cell.b * (rowHeight - 6) / peak;
        if (hc > 0) {
          page += "<rect class=\"cmd\" x=\"" + Px(x0) + "\" y=\"" + Px(base - hc) + "\" width=\"" +
                  Px(w) + "\" height=\"" + Px(hc) + "\"/>";
        }
        if (hr > 0) {
          page += "<rect class=\"rev\" x=\"" + Px(x0) + "\" y=\"" + Px(base - hc - hr) +
                  "\" width=\"" + Px(w) + "\" height=\"" + Px(hr) + "\"/>";
        }
      }
      int nowhere = 0;
      for (std::size_t i : row.files) {
        const PageData::File& f = files[i];
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
                     " data-file=\"" + Label(f) + "\" data-count=\"" +
                         std::to_string(n.untimed) + "\"",
                     f.name + ": " + text,
                     "<rect class=\"untimed\" x=\"" + Px(axis.X(a)) + "\" y=\"" +
                         std::to_string(y + 2) + "\" width=\"" + Px(axis.X(b) - axis.X(a)) +
                         "\" height=\"" + std::to_string(rowHeight - 4) + "\"/><text x=\"" +
                         Px(axis.X(a) + 6) + "\" y=\"" + std::to_string(y + 16) + "\">" + text +
                         "</text>");
      }
      if (nowhere > 0) {
        page += "<text class=\"sub\" x=\"" + std::to_string(kLeft + 8) + "\" y=\"" +
                std::to_string(y + rowHeight / 2 + 4) + "\">" + Number(nowhere) +
                " records without arrival time, and no hour in the file's name: not on the axis</text>";
      }
      // Sequence gaps, per column, with what they lost.
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
      // The capture's lane: recording, not recording (between its runs,
      // before its first and after its last), or losing (a sequence gap,
      // from the record before it to the one after).
      if (timedRecords > 0) {
        const Spans shown{{axis.from, axis.to}};
        const Spans recording = Within(row.recording, shown);
        const Spans lost = Within(row.lost, shown);
        const Spans clean = Minus(recording, lost);
        const Spans off = Minus(shown, recording);
        const int ly = base + 3;
        auto draw = [&](const Spans& spans, const char* state, const char* colour, const char* what) {
          for (const auto& [a, b] : spans) {
            const double x0 = axis.X(a), x1 = std::max(axis.X(b), x0 + 0.8);
            page += "<g class=\"lane\" data-row=\"" + label + "\" data-state=\"" + state +
                    "\" data-from=\"" + Iso(a) + "\" data-to=\"" + Iso(b) + "\"><title>" +
                    Escape(rowLabel(row)) + " " + what + " from " + Shown(a) + " to " + Shown(b) +
                    "</title><rect x=\"" + Px(x0) + "\" y=\"" + std::to_string(ly) +
                    "\" width=\"" + Px(x1 - x0) + "\" height=\"" + std::to_string(lane) +
                    "\" fill=\"" + colour + "\"/></g>";
          }
        };
        draw(clean, "recording", "#7cbf72", "recording");
        draw(off, "not-recording", "#9aa4ad", "not recording");
        draw(lost, "lost", "#d32f2f", "losing datagrams (a sequence gap)");
      }
      page += "</g>";
      y += rowHeight + lane + 14;
    }
    page += "</svg>\n";
  } else {
    page += "<p>Missing: no time axis (see above).</p>\n";
  }

  // ---- Who was alive
  page += "<h2 id=\"alive\">Who was alive</h2>\n";
  // One set of strips for one capture; with several, a set per capture,
  // each silent only where that capture recorded and lost nothing.
  auto alive = [&](const std::string& title, const std::map<int, PageData::Heard>& workstations,
                   const std::map<int, PageData::Heard>& devices, const Spans& covered,
                   std::int64_t heardUntil) {
    std::map<int, std::uint64_t> revertiveCounts;
    for (const auto& [d, heard] : devices) revertiveCounts[d] = heard.count;
    if (!title.empty()) page += "<h3 class=\"capture-strips\">" + Escape(title) + "</h3>\n";
    std::vector<std::pair<std::uint64_t, int>> busiest;
    for (const auto& [d, count] : revertiveCounts) busiest.emplace_back(count, d);
    std::sort(busiest.begin(), busiest.end(), [](const auto& a, const auto& b) {
      return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    const std::size_t restDevices = busiest.size() > kBusiest ? busiest.size() - kBusiest : 0;
    busiest.resize(std::min(busiest.size(), kBusiest));
    const std::size_t restWorkstations =
        workstations.size() > kMaxWorkstations ? workstations.size() - kMaxWorkstations : 0;
    page += "<p class=\"legend\"><span><i class=\"sw\" style=\"background:#b8e0b0\"></i>heard</span>"
            "<span><i class=\"sw\" style=\"background:#2b2b2b\"></i>silent for longer than twice its "
            "usual interval while a file was recording</span>Workstations by their heartbeat revertives; devices by the "
            "revertives that give them lines (the " + std::to_string(busiest.size()) +
            " busiest" + (restDevices ? ", and " + std::to_string(restDevices) + " more not drawn" : std::string()) +
            ").</p>\n";
    const int strip = 14, gap = 4, top = 18;
    const std::size_t rows = std::min(workstations.size(), kMaxWorkstations) + busiest.size() +
                             (workstations.empty() ? 0 : 1) + (busiest.empty() ? 0 : 1);
    const int height = top + static_cast<int>(rows) * (strip + gap) + 6;
    page += SvgOpen(height, "Who was alive");
    page += Ticks(axis, height, true);
    int y = top;
    auto draw = [&](const std::string& kind, int id, const PageData::Heard& heard) {
      Strip s = Alive(heard, std::min(heardUntil, axis.to));
      // Only where a file was recording, and only what is still a silence
      // there.
      Spans dark;
      for (const auto& d : Within(s.dark, covered)) {
        if (d.second - d.first > 2 * s.usual) dark.push_back(d);
      }
      s.dark = dark;
      const std::string name = (kind == "workstation" ? "WS " : "Device ") + std::to_string(id);
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
                std::to_string(strip) + "\"/>";
      }
      for (const auto& [a, b] : s.dark) {
        const double d0 = axis.X(std::max(a, axis.from)), d1 = axis.X(std::min(b, axis.to));
        page += Mark("silence", a,
                     " data-end=\"" + Iso(b) + "\" data-seconds=\"" + Fixed((b - a) / 1000.0, 3) +
                         "\"",
                     name + " silent for " + Duration(b - a) + " from " + Shown(a),
                     "<rect class=\"dark\" x=\"" + Px(d0) + "\" y=\"" + std::to_string(y) +
                         "\" width=\"" + Px(std::max(1.0, d1 - d0)) + "\" height=\"" +
                         std::to_string(strip) + "\"/>");
      }
      page += "</g>";
      y += strip + gap;
    };
    if (!workstations.empty()) {
      page += "<text class=\"label\" x=\"4\" y=\"" + std::to_string(y + 11) + "\">Workstations" +
              (restWorkstations ? " (" + std::to_string(restWorkstations) + " more not drawn)" : std::string()) +
              "</text>";
      y += strip + gap;
      std::size_t n = 0;
      for (const auto& [ws, heard] : workstations) {
        if (n++ == kMaxWorkstations) break;
        draw("workstation", ws, heard);
      }
    }
    if (!busiest.empty()) {
      page += "<text class=\"label\" x=\"4\" y=\"" + std::to_string(y + 11) + "\">Devices</text>";
      y += strip + gap;
      for (const auto& [count, d] : busiest) draw("device", d, devices.at(d));
    }
    page += "</svg>\n";
  };
  const std::map<int, PageData::Heard>& workstations = data.workstations;
  const std::map<int, PageData::Heard>& devices = data.devices;
  if (axis.known && (!workstations.empty() || !devices.empty())) {
    if (data.rows.size() < 2) {
      alive(std::string(), workstations, devices, data.covered, data.heardUntil);
    } else {
      for (const PageData::Row& row : data.rows) {
        if (row.workstations.empty() && row.devices.empty()) continue;
        std::int64_t until = INT64_MIN;
        for (std::size_t i : row.files) {
          if (files[i].numbers.last != kNoTime) until = std::max(until, files[i].numbers.last + 1);
        }
        alive("Heard by " + rowNames[&row], row.workstations, row.devices,
              Minus(row.recording, row.lost), until);
      }
    }
  } else {
    page += "<p>Missing: " +
            std::string(axis.known && timed > 0
                            ? "no heartbeat or device revertive was heard."
                            : "it needs arrival times, and no record carries one (PacketTimes off).") +
            "</p>\n";
  }

  // ---- Events
  page += "<h2 id=\"events\">Events</h2>\n";
  std::map<std::string, std::uint64_t> eventCounts = data.eventCounts;
  const std::uint64_t allEvents = data.allEvents;
  // The events kept, in the order they were read.
  std::vector<std::pair<const PageData::File*, const Event*>> rows;
  {
    std::vector<const PageData::Listed*> kept;
    for (const auto& [kind, listed] : data.events) {
      for (const PageData::Listed& l : listed) kept.push_back(&l);
    }
    std::stable_sort(kept.begin(), kept.end(),
                     [](const auto* a, const auto* b) { return a->file < b->file; });
    for (const PageData::Listed* l : kept) rows.emplace_back(&files[l->file], &l->event);
  }
  page += "<p class=\"legend\">";
  for (const char* kind : {"clock-set", "unusual", "errorlog", "bad record"}) {
    page += "<span><i class=\"sw\" style=\"background:" + std::string(EventColour(kind)) + "\"></i>" +
            kind + ": <b data-kind=\"" + kind + "\" class=\"count\">" + Number(eventCounts[kind]) +
            "</b></span>";
  }
  page += "Unusual entries are the lines Varnet's Analyse lists; errorlog, the datagrams the "
          "decoders write to ERRORLOG.TXT.</p>\n";
  if (axis.known) {
    const char* kinds[] = {"clock-set", "unusual", "errorlog"};
    const int rowHeight = 18, top = 18;
    const int height = top + 3 * (rowHeight + 4);
    page += SvgOpen(height, "Events");
    page += Ticks(axis, height, true);
    int y = top;
    for (const char* kind : kinds) {
      page += "<rect class=\"row\" x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(y) +
              "\" width=\"" + std::to_string(kPlot) + "\" height=\"" + std::to_string(rowHeight) + "\"/>";
      page += "<text x=\"4\" y=\"" + std::to_string(y + 13) + "\">" + kind + "</text>";
      // One mark per column over every file.
      std::map<std::int64_t, Buckets::Cell> merged;
      auto it = data.eventMarks.find(kind);
      if (it != data.eventMarks.end()) merged = Columns(it->second, axis);
      for (const auto& [start, cell] : merged) {
        const double x = axis.X(std::max(cell.first, axis.from));
        page += Mark(kind, cell.first, " data-count=\"" + std::to_string(cell.a) + "\"",
                     Number(cell.a) + " " + kind + " from " + Shown(cell.first),
                     "<rect x=\"" + Px(x - 1.5) + "\" y=\"" + std::to_string(y + 2) +
                         "\" width=\"3\" height=\"" + std::to_string(rowHeight - 4) +
                         "\" fill=\"" + EventColour(kind) + "\"/>");
      }
      y += rowHeight + 4;
    }
    page += "</svg>\n";
  }
  // The rarest kind first (a clock set is not to drown among a night's
  // unusual lines), then by time.
  std::stable_sort(rows.begin(), rows.end(), [&](const auto& a, const auto& b) {
    const std::uint64_t ca = eventCounts[a.second->kind], cb = eventCounts[b.second->kind];
    if (ca != cb) return ca < cb;
    if (a.second->kind != b.second->kind) return a.second->kind < b.second->kind;
    const std::int64_t ta = a.second->time == kNoTime ? INT64_MAX : a.second->time;
    const std::int64_t tb = b.second->time == kNoTime ? INT64_MAX : b.second->time;
    return ta < tb;
  });
  if (rows.empty()) {
    page += "<p>No event.</p>\n";
  } else {
    page += "<table id=\"event-table\"><tr><th>Time</th><th>File</th><th>Record</th><th>Kind</th>"
            "<th>Text</th></tr>\n";
    std::map<std::string, std::size_t> shownOf;
    std::uint64_t listed = 0;
    for (const auto& [f, e] : rows) {
      if (shownOf[e->kind]++ >= kTableRows) continue;
      ++listed;
      page += "<tr data-kind=\"" + e->kind + "\" data-time=\"" + Iso(e->time) + "\" data-file=\"" +
              Label(*f) + "\" data-record=\"" + std::to_string(e->record) + "\"><td class=\"t\">" +
              Shown(e->time) + "</td><td>" + Label(*f) + "</td><td class=\"n\">" +
              std::to_string(e->record) + "</td><td>" + e->kind + "</td><td class=\"x\">" +
              Escape(e->text.substr(0, 300)) + "</td></tr>\n";
    }
    page += "</table>\n";
    if (listed < allEvents) {
      page += "<p class=\"meta\" id=\"not-listed\">" + Number(allEvents - listed) +
              " more events are counted above but not listed (the first " +
              std::to_string(FileReport::kEventsKept) + " of each kind in each file, and " +
              std::to_string(kTableRows) + " of each kind in all, are).</p>\n";
    }
    page += "<p class=\"meta\"><code>pktdump dump FILE RECORD</code> shows a record's bytes, "
            "<code>pktdump decode --records RECORD FILE</code> its lines.</p>\n";
  }

  // ---- Numbers
  page += "<h2 id=\"numbers\">Numbers</h2>\n<table id=\"numbers-table\"><tr><th>File</th>"
          "<th>Records</th><th>Commands</th><th>Revertives</th><th>First arrival</th>"
          "<th>Last arrival</th><th>Rate</th><th>Gaps</th><th>Lost</th><th>Repeated</th><th>Bad</th>"
          "<th>Busiest devices</th><th>Busiest kinds</th></tr>\n";
  for (const PageData::File& f : files) {
    const FileReport::Totals& n = f.numbers;
    std::string rate = "&ndash;";
    if (n.timed > 1 && n.last > n.first) {
      rate = Fixed((n.timed - 1) * 1000.0 / static_cast<double>(n.last - n.first), 1) + "/s";
    }
    page += "<tr data-file=\"" + Label(f) + "\" data-records=\"" + std::to_string(n.records) +
            "\" data-gaps=\"" + std::to_string(n.gaps) + "\" data-lost=\"" + std::to_string(n.lost) +
            "\" data-untimed=\"" + std::to_string(n.untimed) + "\" data-bad=\"" + std::to_string(n.bad) +
            "\" data-repeats=\"" + std::to_string(n.repeats) + "\"><td>" + Label(f) + "</td><td class=\"n\">" + Number(n.records) +
            "</td><td class=\"n\">" + Number(n.commands) + "</td><td class=\"n\">" + Number(n.revertives) +
            "</td><td class=\"t\">" + (n.first == kNoTime ? "&ndash;" : Shown(n.first)) +
            "</td><td class=\"t\">" + (n.last == kNoTime ? "&ndash;" : Shown(n.last)) +
            "</td><td class=\"n\">" + rate + "</td><td class=\"n\">" + Number(n.gaps) +
            "</td><td class=\"n\">" + Number(n.lost) + "</td><td class=\"n\">" + Number(n.repeats) +
            "</td><td class=\"n\">" + Number(n.bad) +
            "</td><td>" + f.busiestDevices + "</td><td>" + f.busiestKinds + "</td></tr>\n";
  }
  page += "</table>\n";
  if (!data.gaps.empty()) {
    page += "<table id=\"gap-table\"><tr><th>File</th><th>Gap before</th><th>Sequence</th>"
            "<th>Lost</th></tr>\n";
    std::uint64_t listed = 0;
    const std::uint64_t counted = data.gapsCounted;
    for (const auto& [g, i] : data.gaps) {
      const PageData::File& f = files[i];
      ++listed;
      page += "<tr data-file=\"" + Label(f) + "\" data-time=\"" + Iso(g.time) +
              "\" data-lost=\"" + std::to_string(g.to - g.from + 1) + "\"><td>" + Label(f) +
              "</td><td class=\"t\">" + Shown(g.time) + "</td><td class=\"n\">" +
              std::to_string(g.from) + "&ndash;" + std::to_string(g.to) + "</td><td class=\"n\">" +
              Number(g.to - g.from + 1) + "</td></tr>\n";
    }
    page += "</table>\n";
    if (listed < counted) {
      page += "<p class=\"meta\" id=\"gaps-not-listed\">" + Number(counted - listed) +
              " more gaps are counted above but not listed (the first " +
              std::to_string(kTableRows) + " are).</p>\n";
    }
  }
  page += "<p class=\"meta\">Made by pktdump report. Devices are counted by the decoders' rule: a "
          "line belongs to the device whose filter decides whether Varnet writes it.</p>\n";
  page += "</body></html>\n";
  return page;
}

}  // namespace report
}  // namespace pktdump
