// pktdump report: the page. One HTML file with inline CSS and SVG, no
// script, nothing fetched. Every section shares one horizontal time axis
// (local time, its zone said); every mark is an SVG group carrying its
// kind and time as attributes (data-kind, data-time, data-count ...), so
// that a test, or a script of the reader's, can read the page back.
// RenderPage writes the page part by part: here the frame (head, summary,
// notes, footer) and the texts of times and numbers; the drawings and the
// tables are in report_page_strips.cpp and report_page_tables.cpp.
#include <algorithm>
#include <cstring>
#include <ctime>
#include <set>

#include "report_page_internal.h"

#include "core/packet_file.h"

namespace pktdump {
namespace report {
namespace html {

namespace {
// The page being written shows UTC (one page is written at a time, by one
// thread; thread_local keeps pages written side by side apart).
thread_local bool showUtc = false;
}  // namespace

void ShowUtc(bool utc) { showUtc = utc; }
bool ShowingUtc() { return showUtc; }

long PageOffset(std::int64_t ms) { return showUtc ? 0 : trelm::UtcOffsetAt(ms); }

std::tm PageParts(std::int64_t ms) {
  if (!showUtc) return trelm::LocalParts(ms);
  const trelm::CivilTime c = trelm::UtcCivil(FloorDiv(ms, 1000));
  std::tm t{};
  t.tm_year = c.year - 1900;
  t.tm_mon = c.month - 1;
  t.tm_mday = c.day;
  t.tm_hour = c.hour;
  t.tm_min = c.minute;
  t.tm_sec = c.second;
  return t;
}

std::string Zone(std::int64_t ms) {
  const long offset = PageOffset(ms);
  char text[32];
  std::snprintf(text, sizeof text, "%c%02ld:%02ld", offset < 0 ? '-' : '+', std::labs(offset) / 3600,
                std::labs(offset) % 3600 / 60);
  return text;
}

// "2026-12-09T07:12:03.250+01:00": the attribute form.
std::string Iso(std::int64_t ms) {
  if (ms == kNoTime) return "";
  const std::tm t = PageParts(ms);
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

std::string Px(double x) { return Fixed(x, 1); }

namespace {

constexpr int kMaxColumns = 500;
constexpr std::size_t kNotesShown = 12;  // of the reading's messages

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

std::string FolderName(std::string folder) {
  while (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  const std::size_t slash = folder.find_last_of("/\\");
  return (slash == std::string::npos ? folder : folder.substr(slash + 1)) + "/";
}

// The axis: the window, else the arrivals and the hours of untimed files.
Axis AxisOf(const PageData& data, const Window& window) {
  Axis axis;
  std::int64_t from = INT64_MAX, to = INT64_MIN;
  for (const PageData::File& f : data.files) {
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
  if (window.from != INT64_MIN) from = window.from;
  if (window.to != INT64_MAX) to = window.to;
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
  return axis;
}

// Rows are named by their folder: its last part, or as many parts as
// tell two folders apart (a/ws12/ and b/ws12/).
std::map<const PageData::Row*, std::string> RowNames(const std::vector<PageData::Row>& rows) {
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
  std::map<const PageData::Row*, std::string> rowNames;
  for (std::size_t i = 0; i < rows.size(); ++i) rowNames[&rows[i]] = named(i);
  return rowNames;
}

void WriteHead(Context& c) {
  c.page += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
            "<meta name=\"viewport\" content=\"width=device-width\">"
            "<title>Packet report</title><style>";
  c.page += kStyle;
  c.page += "</style></head><body>\n<h1>Packet report</h1>\n";
}

// The files, and the span of time the page shows.
void WriteSummary(Context& c) {
  std::string& page = c.page;
  const std::vector<PageData::File>& files = c.data.files;
  const std::set<std::string>& folders = c.folders;
  const Axis& axis = c.axis;
  std::string names;
  if (files.size() <= 8) {
    for (std::size_t i = 0; i < files.size(); ++i) names += (i ? ", " : "") + c.Label(files[i]);
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
        names += " " + Escape(FolderName(folder));
      }
    }
  }
  page += "<p class=\"meta\">Files: " + names + "</p>\n";
  if (axis.known) {
    std::string clock = "Times are UTC (--utc); arrivals are recorded in UTC.";
    if (!ShowingUtc()) {
      char zone[64] = "";
      const std::tm t = trelm::LocalParts(axis.from);
      std::strftime(zone, sizeof zone, "%Z", &t);
      clock = "Times are local time, " + Escape(zone) + " (UTC" + Zone(axis.from) +
              "), as this machine keeps it; arrivals are recorded in UTC.";
    }
    page += "<p class=\"meta\" id=\"span\" data-from=\"" + Iso(axis.from) + "\" data-to=\"" +
            Iso(axis.to) + "\">From " + Shown(axis.from) + " to " + Shown(axis.to) + " (" +
            Duration(axis.to - axis.from) + "). " + clock + "</p>\n";
  }
}

// What each file's numbers say the page cannot show: datagrams that are
// not in the files, records without arrival time.
void FileNotes(const Context& c, std::vector<std::string>& notes) {
  const PageOptions& options = c.options;
  for (const PageData::File& f : c.data.files) {
    const FileReport::Totals& n = f.numbers;
    if (n.missing != 0) {
      notes.push_back(c.Label(f) + ": " + Number(n.missing) +
                      (n.missing == 1 ? " datagram is" : " datagrams are") +
                      " not in these files: their numbers fall between it and the file before it, "
                      "and the hour files between are not among those given (not counted lost)");
    }
    if (n.earlier != 0) {
      notes.push_back(c.Label(f) + ": " + Number(n.earlier) +
                      (n.earlier == 1 ? " datagram" : " datagrams") + " not in these files (sequence " +
                      std::to_string(n.earlierFrom) + " to " + std::to_string(n.earlierTo) +
                      "): lost, or in an earlier file" +
                      (options.window.Narrowed() ? " or before the window" : ""));
    }
    if (n.untimed == 0) continue;
    std::string note = c.Label(f) + ": " + Number(n.untimed) +
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
}

// Each capture's hours that are not given, where numbers are missing.
void MissingHourNotes(const Context& c, std::vector<std::string>& notes) {
  const std::vector<PageData::File>& files = c.data.files;
  for (const PageData::Row& row : c.data.rows) {
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
        const std::tm t = trelm::LocalParts(h);
        char name[varnet::kPacketNameSize];
        varnet::PacketFileName({t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour}, name);
        missing += (missing.empty() ? "" : ", ") + std::string(name);
      }
      notes.push_back(Escape(c.RowName(row)) + ": the hour " + (n == 1 ? "file " : "files ") +
                      missing + " between " + Escape(hours[i - 1]->name) + " and " +
                      Escape(hours[i]->name) + " " + (n == 1 ? "is" : "are") + " missing");
    }
  }
}

// What the page as a whole lacks: a record in the window, a time axis,
// arrival times, heartbeats.
void PageNotes(const Context& c, std::vector<std::string>& notes) {
  const PageOptions& options = c.options;
  if (options.window.Narrowed() && c.inWindow == 0) {
    notes.push_back("No record falls in the window asked for (" +
                    (options.window.from != INT64_MIN ? Shown(options.window.from) : std::string("the start")) +
                    " to " + (options.window.to != INT64_MAX ? Shown(options.window.to) : std::string("the end")) +
                    "): the files' " + Number(c.outside) + " records are all outside it.");
  } else if (!c.axis.known) {
    notes.push_back("No record carries an arrival time and no file's name gives an hour: there is "
                    "no time axis, so Traffic, Who was alive and the event marks are missing; "
                    "Numbers and the events table are complete.");
  } else if (c.timed == 0) {
    notes.push_back("No record carries an arrival time: Traffic shows only the hours the files' "
                    "names give, and Who was alive is missing (it needs arrival times).");
  } else if (!c.data.heartbeats) {
    notes.push_back("No heartbeat revertive (HB) was heard: there is no workstation strip.");
  }
  if (options.window.Narrowed() && c.inWindow != 0) {
    notes.push_back("Narrowed to the window asked for; " + Number(c.outside) +
                    " records outside it are left out of every part.");
  }
}

// What the page cannot show, and why.
void WriteNotes(Context& c) {
  const PageOptions& options = c.options;
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
  FileNotes(c, notes);
  MissingHourNotes(c, notes);
  PageNotes(c, notes);
  if (!notes.empty()) {
    c.page += "<ul class=\"notes\" id=\"notes\">";
    for (const std::string& n : notes) c.page += "<li>" + n + "</li>";
    c.page += "</ul>\n";
  }
}

void WriteFooter(Context& c) {
  c.page += "<p class=\"meta\">Made by pktdump report. Devices are counted by the decoders' rule: a "
            "line belongs to the device whose filter decides whether Varnet writes it.</p>\n";
  c.page += "</body></html>\n";
}

}  // namespace

std::string Context::Label(const PageData::File& f) const {
  return Escape(folders.size() > 1 ? FolderName(f.folder) + f.name : f.name);
}

}  // namespace html

std::vector<std::string> CaptureNames(const std::vector<PageData::Row>& rows) {
  const std::map<const PageData::Row*, std::string> named = html::RowNames(rows);
  std::vector<std::string> names;
  for (const PageData::Row& row : rows) names.push_back(named.at(&row));
  return names;
}

std::string RenderPage(const std::vector<const FileReport*>& files, const PageOptions& options) {
  PageData data;
  data.window = options.window;
  for (const FileReport* f : files) data.Fold(*f);
  data.Finish();
  return RenderPage(data, options);
}

std::string RenderPage(const PageData& data, const PageOptions& options) {
  // The page's clock for this page only.
  html::ShowUtc(options.utc);
  const struct LocalAgain {
    ~LocalAgain() { html::ShowUtc(false); }
  } localAgain;
  html::Context c(data, options);
  c.axis = html::AxisOf(data, options.window);
  for (const PageData::File& f : data.files) {
    c.folders.insert(f.folder);
    c.timed += f.numbers.timed;
    c.outside += f.numbers.outside;
    c.inWindow += f.numbers.records;
  }
  c.rowNames = html::RowNames(data.rows);
  c.page.reserve(1 << 18);
  html::WriteHead(c);
  html::WriteSummary(c);
  html::WriteNotes(c);
  html::WriteTraffic(c);
  html::WriteAlive(c);
  html::WriteFleet(c);
  html::WriteEvents(c);
  html::WriteNumbers(c);
  html::WriteGaps(c);
  html::WriteFooter(c);
  return std::move(c.page);
}

}  // namespace report
}  // namespace pktdump
