// pktdump report: the page's parts in rows: Events (their counts, their
// marks per column on the time axis, and the earliest texts of each kind
// in a table in time order, a text's repeats folded into one row), Numbers (a line per file) and the table
// of the sequence gaps.
#include <algorithm>

#include "report_page_internal.h"

namespace pktdump {
namespace report {
namespace html {

namespace {

// The events listed: each with the file it is in.
using Listing = std::vector<std::pair<const PageData::File*, const Event*>>;

const char* EventColour(const std::string& kind) {
  if (kind == "clock-set") return "#7b3fb5";
  if (kind == "errorlog") return "#c62828";
  if (kind == "bad record") return "#000000";
  return "#d18b00";
}

// The events' marks on the time axis, a row per kind.
void EventMarks(Context& c) {
  std::string& page = c.page;
  const Axis& axis = c.axis;
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
    auto it = c.data.eventMarks.find(kind);
    if (it != c.data.eventMarks.end()) merged = Columns(it->second, axis);
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

// The events table, in the order given, with no more than the table's
// rows of each kind.
void EventTable(Context& c, const Listing& rows) {
  std::string& page = c.page;
  const std::uint64_t allEvents = c.data.allEvents;
  page += "<table id=\"event-table\"><tr><th>Time</th><th>File</th><th>Record</th><th>Kind</th>"
          "<th>Text</th><th>Times</th><th>Last</th></tr>\n";
  std::map<std::string, std::size_t> shownOf;
  std::uint64_t listed = 0;
  for (const auto& [f, e] : rows) {
    if (shownOf[e->kind]++ >= kTableRows) continue;
    listed += e->count;
    // Repeats of one text are one row: how many, and the last.
    const bool repeated = e->count > 1;
    page += "<tr data-kind=\"" + e->kind + "\" data-time=\"" + Iso(e->time) + "\" data-file=\"" +
            c.Label(*f) + "\" data-record=\"" + std::to_string(e->record) + "\" data-count=\"" +
            std::to_string(e->count) + "\"><td class=\"t\">" + Shown(e->time) + "</td><td>" +
            c.Label(*f) + "</td><td class=\"n\">" + std::to_string(e->record) + "</td><td>" +
            e->kind + "</td><td class=\"x\">" + Escape(e->text.substr(0, 300)) +
            "</td><td class=\"n\">" + (repeated ? Number(e->count) : std::string()) +
            "</td><td class=\"t\">" +
            (repeated && e->last != kNoTime ? Shown(e->last) : std::string()) + "</td></tr>\n";
  }
  page += "</table>\n";
  if (listed < allEvents) {
    page += "<p class=\"meta\" id=\"not-listed\">" + Number(allEvents - listed) +
            " more events are counted above but not listed (the first " +
            std::to_string(FileReport::kEventsKept) + " texts of each kind in each file, and " +
            std::to_string(kTableRows) + " of each kind in all, are).</p>\n";
  }
  page += "<p class=\"meta\"><code>pktdump dump FILE RECORD</code> shows a record's bytes, "
          "<code>pktdump decode --records RECORD FILE</code> its lines.</p>\n";
}

}  // namespace

void WriteEvents(Context& c) {
  std::string& page = c.page;
  const PageData& data = c.data;
  page += "<h2 id=\"events\">Events</h2>\n";
  std::map<std::string, std::uint64_t> eventCounts = data.eventCounts;
  // The events kept, in the order they were read.
  Listing rows;
  {
    std::vector<const PageData::Listed*> kept;
    for (const auto& [kind, listed] : data.events) {
      for (const PageData::Listed& l : listed) kept.push_back(&l);
    }
    std::stable_sort(kept.begin(), kept.end(),
                     [](const auto* a, const auto* b) { return a->file < b->file; });
    for (const PageData::Listed* l : kept) rows.emplace_back(&data.files[l->file], &l->event);
  }
  page += "<p class=\"legend\">";
  for (const char* kind : {"clock-set", "unusual", "errorlog", "bad record"}) {
    page += "<span><i class=\"sw\" style=\"background:" + std::string(EventColour(kind)) + "\"></i>" +
            kind + ": <b data-kind=\"" + kind + "\" class=\"count\">" + Number(eventCounts[kind]) +
            "</b></span>";
  }
  page += "Unusual entries are the lines Varnet's Analyse lists; errorlog, the datagrams the "
          "decoders write to ERRORLOG.TXT.</p>\n";
  if (c.axis.known) EventMarks(c);
  // In time order (records without arrival last, in file order); repeats
  // of one text are folded into its first row, so a clock set does not
  // drown among a night's repeated lines.
  std::stable_sort(rows.begin(), rows.end(), [&](const auto& a, const auto& b) {
    const std::int64_t ta = a.second->time == kNoTime ? INT64_MAX : a.second->time;
    const std::int64_t tb = b.second->time == kNoTime ? INT64_MAX : b.second->time;
    return ta < tb;
  });
  if (rows.empty()) {
    page += "<p>No event.</p>\n";
  } else {
    EventTable(c, rows);
  }
}

void WriteNumbers(Context& c) {
  std::string& page = c.page;
  page += "<h2 id=\"numbers\">Numbers</h2>\n<table id=\"numbers-table\"><tr><th>File</th>"
          "<th>Records</th><th>Commands</th><th>Revertives</th><th>First arrival</th>"
          "<th>Last arrival</th><th>Rate</th><th>Gaps</th><th>Lost</th><th>Repeated</th><th>Bad</th>"
          "<th>Busiest devices</th><th>Busiest kinds</th></tr>\n";
  for (const PageData::File& f : c.data.files) {
    const FileReport::Totals& n = f.numbers;
    std::string rate = "&ndash;";
    if (n.timed > 1 && n.last > n.first) {
      rate = Fixed((n.timed - 1) * 1000.0 / static_cast<double>(n.last - n.first), 1) + "/s";
    }
    page += "<tr data-file=\"" + c.Label(f) + "\" data-records=\"" + std::to_string(n.records) +
            "\" data-gaps=\"" + std::to_string(n.gaps) + "\" data-lost=\"" + std::to_string(n.lost) +
            "\" data-untimed=\"" + std::to_string(n.untimed) + "\" data-bad=\"" + std::to_string(n.bad) +
            "\" data-repeats=\"" + std::to_string(n.repeats) + "\"><td>" + c.Label(f) + "</td><td class=\"n\">" + Number(n.records) +
            "</td><td class=\"n\">" + Number(n.commands) + "</td><td class=\"n\">" + Number(n.revertives) +
            "</td><td class=\"t\">" + (n.first == kNoTime ? "&ndash;" : Shown(n.first)) +
            "</td><td class=\"t\">" + (n.last == kNoTime ? "&ndash;" : Shown(n.last)) +
            "</td><td class=\"n\">" + rate + "</td><td class=\"n\">" + Number(n.gaps) +
            "</td><td class=\"n\">" + Number(n.lost) + "</td><td class=\"n\">" + Number(n.repeats) +
            "</td><td class=\"n\">" + Number(n.bad) +
            "</td><td>" + f.busiestDevices + "</td><td>" + f.busiestKinds + "</td></tr>\n";
  }
  page += "</table>\n";
}

void WriteGaps(Context& c) {
  std::string& page = c.page;
  const PageData& data = c.data;
  if (data.gaps.empty()) return;
  page += "<table id=\"gap-table\"><tr><th>File</th><th>Gap before</th><th>Sequence</th>"
          "<th>Lost</th></tr>\n";
  std::uint64_t listed = 0;
  const std::uint64_t counted = data.gapsCounted;
  for (const auto& [g, i] : data.gaps) {
    const PageData::File& f = data.files[i];
    ++listed;
    page += "<tr data-file=\"" + c.Label(f) + "\" data-time=\"" + Iso(g.time) +
            "\" data-lost=\"" + std::to_string(g.to - g.from + 1) + "\"><td>" + c.Label(f) +
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

}  // namespace html
}  // namespace report
}  // namespace pktdump
