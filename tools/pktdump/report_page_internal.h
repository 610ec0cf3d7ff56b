// pktdump report: what the files of the page share, and no other module
// needs. report_page.cpp writes the page's frame (head, summary, notes,
// footer) and calls each part in turn; report_page_strips.cpp draws the
// time axis, Traffic and Who was alive; report_page_tables.cpp writes the
// events and the tables of numbers and gaps; report_page_data.cpp folds the
// files' reports into PageData; report_page_fleet.cpp writes the comparison
// of the workstations (fleet.h). Portable.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "report.h"
#include "wall_time.h"

namespace pktdump {
namespace report {
namespace html {

constexpr int kLeft = 190;   // the labels' column
constexpr int kPlot = 1000;  // the plot's width
constexpr int kWidth = kLeft + kPlot + 30;
constexpr std::size_t kTableRows = 200;  // of each kind

// The page's clock: local time, or UTC with report --utc. RenderPage sets
// it for the page it writes (report_page.cpp; the conversions are the time
// module's). An hour file's name is local time whichever the page shows.
using trelm::FloorDiv;
void ShowUtc(bool utc);
bool ShowingUtc();
// Seconds east of UTC the page's clock is at that instant (0 in UTC).
long PageOffset(std::int64_t ms);
// The calendar time of an instant on the page's clock.
std::tm PageParts(std::int64_t ms);
// Times as the page writes them.
std::string Zone(std::int64_t ms);
std::string Iso(std::int64_t ms);
std::string Shown(std::int64_t ms);

// Texts (report_page.cpp).
std::string Escape(const std::string& text);
std::string Number(std::uint64_t n);
std::string Fixed(double value, int decimals);
std::string Duration(std::int64_t ms);
std::string Px(double x);

// Spans [from, to) (report_page_data.cpp).
using Spans = std::vector<std::pair<std::int64_t, std::int64_t>>;
// Sorted, and joined where they overlap.
Spans Union(Spans spans);
// Spans minus the spans cut (both sorted, without overlaps).
Spans Minus(const Spans& spans, const Spans& cut);

// The shared axis.
struct Axis {
  std::int64_t from = 0, to = 1;  // ms, to exclusive
  std::int64_t column = 1000;     // the display buckets' width
  bool known = false;
  double X(std::int64_t ms) const {
    return kLeft + static_cast<double>(ms - from) * kPlot / static_cast<double>(to - from);
  }
  bool Holds(std::int64_t ms) const { return ms >= from && ms < to; }
  // Rates are per minute in columns this wide, else per second.
  bool PerMinute() const { return column >= 60000; }
};

// The SVG's parts (report_page_strips.cpp).
// Grid lines and time labels across an SVG of that height.
std::string Ticks(const Axis& axis, int height, bool labels);
std::string SvgOpen(int height, const std::string& label);
// A mark: a group carrying what it stands for.
std::string Mark(const std::string& kind, std::int64_t time, const std::string& attributes,
                 const std::string& title, const std::string& shape);
// A file's buckets at the axis' column width.
std::map<std::int64_t, Buckets::Cell> Columns(const Buckets& buckets, const Axis& axis);

// The page being written, and what its parts share.
struct Context {
  Context(const PageData& d, const PageOptions& o) : data(d), options(o) {}
  const PageData& data;
  const PageOptions& options;
  Axis axis;
  // Files of several folders are named with their folder.
  std::set<std::string> folders;
  // Each row of Traffic (a capture) by the name it is shown by.
  std::map<const PageData::Row*, std::string> rowNames;
  // The files' records: with an arrival time, outside the window, in it.
  std::uint64_t timed = 0, outside = 0, inWindow = 0;
  std::string page;
  // The capture whose strips of Who was alive are being drawn (several
  // captures), for the comparison's classes on them.
  const PageData::Row* strips = nullptr;
  // A file as the page names it (escaped; report_page.cpp).
  std::string Label(const PageData::File& f) const;
  const std::string& RowName(const PageData::Row& row) const { return rowNames.at(&row); }
};

// The parts of the page, in its order after the notes.
void WriteTraffic(Context& c);  // report_page_strips.cpp
void WriteAlive(Context& c);    // report_page_strips.cpp
void WriteEvents(Context& c);   // report_page_tables.cpp
void WriteNumbers(Context& c);  // report_page_tables.cpp
void WriteGaps(Context& c);     // report_page_tables.cpp
// The comparison of the workstations, when there is one
// (report_page_fleet.cpp): its section, and the class a strip's silence or a
// lane's span was given ("lost-here", "not-sent", "unknown"; "" for none).
// what: "device", "workstation", or a lane's state ("lost", "not-recording").
void WriteFleet(Context& c);
std::string FleetClass(const Context& c, const PageData::Row& row, const std::string& what, int id,
                       std::int64_t from, std::int64_t to);
// That class said after a mark's title, and drawn as a silence's outline
// ("" for none).
std::string FleetNote(const std::string& judged);
std::string FleetOutline(const std::string& judged);

}  // namespace html
}  // namespace report
}  // namespace pktdump
