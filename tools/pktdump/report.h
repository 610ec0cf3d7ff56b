// pktdump report: packet data files as one self-contained HTML page (inline
// SVG and CSS, nothing fetched) on one time axis: traffic per file, who was
// alive, events, numbers. Each file is gathered by a FileReport, which holds
// buckets and counts, never one entry per datagram, so memory stays bounded
// whatever the files' size. Each FileReport is folded into the page's data
// (PageData) in name order and can then go, so that memory grows with the
// page's rows, not with the number of files; the page is drawn from that.
// The gathering is testable without files; RunReport reads the files, one
// worker per core. Portable.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/capture_config.h"
#include "core/packet_record.h"
#include "core/packet_runs.h"
#include "pktdump_types.h"
#include "records.h"
#include "sequence.h"

namespace pktdump {
namespace report {

// Times are milliseconds since 1970 (UTC).
constexpr std::int64_t kNoTime = INT64_MIN;

// Counts in time buckets whose width grows, from the ladder below, so that
// there are never more than the bucket limit: a second's buckets for an
// hour, coarser ones for a week.
class Buckets {
 public:
  struct Cell {
    std::uint64_t a = 0, b = 0;
    std::int64_t first = INT64_MAX;  // the earliest time counted in it
  };
  explicit Buckets(std::size_t limit = 4096) : limit_(limit) {}
  void Add(std::int64_t ms, std::uint64_t a, std::uint64_t b = 0);
  // To this width (ms, a width of the ladder) or wider, never narrower.
  void Widen(std::int64_t width);
  std::int64_t Width() const { return width_; }
  // Key: the bucket's start / width.
  const std::map<std::int64_t, Cell>& Cells() const { return cells_; }
  // The ladder's width after this one (1 s, 2 s, 10 s, 30 s, 1 min, ...).
  static std::int64_t NextWidth(std::int64_t width);
  // Counts another's cells in these (each width of the ladder divides the
  // next, so folding and widening may come in either order).
  void Merge(const Buckets& other);

 private:
  std::size_t limit_;
  std::int64_t width_ = 1000;
  std::map<std::int64_t, Cell> cells_;
};

// When something (a workstation's heartbeats, a device's revertives) was
// heard, as far as the alive rule needs it: the usual interval (the one
// that nine intervals in ten do not exceed, from a histogram of 12 % wide
// bins holding their mean)
// and the silences that may be longer than twice it.
class Liveness {
 public:
  void Heard(std::int64_t ms);
  std::int64_t First() const { return first_; }
  std::int64_t Last() const { return last_; }
  std::uint64_t Count() const { return count_; }
  // The usual interval, 0 with fewer than two hearings.
  std::int64_t Usual() const;
  // The silences longer than twice the usual interval: [from, to] between
  // two hearings.
  std::vector<std::pair<std::int64_t, std::int64_t>> Silences() const;

 private:
  static constexpr int kBins = 112;  // up to about 7 minutes
  static constexpr std::size_t kKept = 24;
  static int Bin(std::int64_t interval);
  std::int64_t first_ = kNoTime, last_ = kNoTime;
  std::uint64_t count_ = 0, intervals_ = 0;
  std::array<std::uint32_t, kBins> bins_{};
  std::array<float, kBins> sums_{};
  std::vector<std::pair<std::int64_t, std::int64_t>> candidates_;
};

// An event, with its repeats: the same kind and text again is folded
// into it, counted, with the time of the last.
struct Event {
  std::int64_t time = kNoTime;  // kNoTime: the record carries no arrival
  std::int64_t record = 0;
  std::string kind;  // "clock-set", "unusual", "errorlog"
  std::string text;
  std::uint64_t count = 1;      // this and its repeats
  std::int64_t last = kNoTime;  // the latest arrival among them
};

struct Window {
  std::int64_t from = INT64_MIN, to = INT64_MAX;  // ms; to is exclusive
  bool Narrowed() const { return from != INT64_MIN || to != INT64_MAX; }
  bool Holds(std::int64_t ms) const { return ms >= from && ms < to; }
};

// One file's records gathered for the page.
class FileReport {
 public:
  // hourStart: the local hour the file's name gives, kNoTime when none.
  FileReport(std::string name, std::int64_t hourStart, const std::string& ini, Window window);
  ~FileReport();
  FileReport(const FileReport&) = delete;
  FileReport& operator=(const FileReport&) = delete;

  void Add(std::int64_t number, const varnet::RecordView& view);
  // A record pktdump cannot read (skipped with --keep-going).
  void Bad(std::int64_t number, const std::string& fault);
  // After the last record: what only the reading needed goes.
  void Finish();

  struct Gap {
    std::int64_t time;  // arrival of the record after the gap
    std::uint32_t from, to;
  };
  struct Totals {
    std::uint64_t records = 0, commands = 0, revertives = 0, timed = 0, untimed = 0, bad = 0;
    std::uint64_t outside = 0;  // outside --from/--to
    // Settled over the capture's files (PageData), whatever the window, and
    // counted where the record after the gap falls in it.
    std::uint64_t gaps = 0, lost = 0, runs = 0, repeats = 0;
    // A recorded run's first numbers that are not in the files (the run
    // began in an earlier file): not counted lost.
    std::uint64_t earlier = 0;
    std::uint32_t earlierFrom = 0, earlierTo = 0;
    // Numbers between this file and the one before it in hours not given.
    std::uint64_t missing = 0;
    std::int64_t first = kNoTime, last = kNoTime;  // arrivals, in the window
  };

  const std::string& Name() const { return name_; }
  // The folder it was read from: the files of one folder are one capture
  // (a workstation's hours), drawn as one row of Traffic.
  void SetFolder(const std::string& folder) { folder_ = folder; }
  const std::string& Folder() const { return folder_; }
  std::int64_t HourStart() const { return hourStart_; }
  const Totals& Numbers() const { return totals_; }
  const Buckets& Traffic() const { return traffic_; }
  // Its sequence numbers as read, for the capture's settlement.
  const varnet::FileRuns& Runs() const { return runs_; }
  const std::map<std::string, Buckets>& EventMarks() const { return eventMarks_; }
  const std::map<std::string, std::uint64_t>& EventCounts() const { return eventCounts_; }
  const std::vector<Event>& Events() const { return events_; }
  const std::map<int, Liveness>& Workstations() const { return workstations_; }
  const std::map<int, Liveness>& Devices() const { return devices_; }
  // Datagrams per device (by the decoders' device rule) and per code.
  const std::map<int, std::uint64_t>& DeviceCounts() const { return deviceCounts_; }
  const std::map<std::string, std::uint64_t>& KindCounts() const { return kindCounts_; }
  static constexpr std::size_t kEventsKept = 100;  // texts of each kind

 private:
  class Host;
  friend class Host;
  void Note(const char* kind, const char* text);

  std::string name_, folder_;
  std::int64_t hourStart_;
  Window window_;
  Totals totals_;
  Buckets traffic_;
  std::map<std::string, Buckets> eventMarks_;
  std::map<std::string, std::uint64_t> eventCounts_;
  std::vector<Event> events_;
  // Where each kept kind and text is in events_, and how many texts of
  // each kind are kept.
  std::map<std::string, std::size_t> eventIndex_;
  std::map<std::string, std::size_t> textsKept_;
  std::map<int, Liveness> workstations_, devices_;
  std::map<int, std::uint64_t> deviceCounts_;
  std::map<std::string, std::uint64_t> kindCounts_;
  // The record being decoded.
  std::int64_t now_ = kNoTime, record_ = 0;
  // Every timed record's number, in the window or not: a gap is settled
  // over the whole capture and counted where it falls.
  varnet::FileRuns runs_;
  std::unique_ptr<Host> host_;
};

}  // namespace report
namespace fleet {
struct Result;
}  // namespace fleet
namespace report {

struct PageOptions {
  Window window;
  std::vector<std::string> notes;  // what went wrong reading, said on the page
  bool utc = false;                // times shown in UTC
  std::vector<int> devices;        // the devices drawn; empty: the busiest
  std::int64_t last = 0;           // --last's span (ms), said on the page; 0: none
  // The comparison of the workstations (two or more captures), or none.
  const fleet::Result* fleet = nullptr;
};

// What the page needs of the files, folded one file at a time (in name
// order) so that a file's report can go as soon as it is folded: a line of
// numbers per file, and per row of Traffic, per workstation or device and
// per kind of event what their marks need, never one entry per datagram.
struct PageData {
  struct File {
    std::string name, folder;
    std::int64_t hourStart = kNoTime;
    FileReport::Totals numbers;
    std::string busiestDevices, busiestKinds;  // escaped
  };
  using Spans = std::vector<std::pair<std::int64_t, std::int64_t>>;
  struct Heard {
    std::uint64_t count = 0;
    std::int64_t usual = 0, first = kNoTime, last = kNoTime;
    // When it was heard, joined where the silence between cannot count.
    Spans alive;
  };
  // A sequence gap counted on the page: from the record before it to the
  // one after (ms), and the numbers skipped.
  struct GapSpan {
    std::int64_t from = kNoTime, to = kNoTime;
    std::uint32_t sequenceFrom = 0, sequenceTo = 0;
    std::uint64_t skipped = 0;
  };
  struct Row {
    std::string folder;
    std::vector<std::size_t> files;  // indexes into files
    std::uint64_t records = 0, timed = 0;
    Buckets traffic, gapMarks;
    // When the capture was recording (a run, from its first arrival to its
    // last) and where it lost datagrams (from the record before a gap to
    // the one after): a silence counts only where it recorded and lost
    // nothing. Where numbers may be in an hour file not given (from the
    // record before to the one after), nothing is known: no silence and no
    // witness for another capture's comparison.
    Spans recording, lost, notGiven;
    std::map<int, Heard> workstations, devices;  // heard by this capture
    std::uint64_t gaps = 0, lostCount = 0;
    // Its gaps with their times, the first of them, for the comparison of
    // workstations; the rest are counted.
    std::vector<GapSpan> gapSpans;
    std::uint64_t gapSpansNotKept = 0;
  };
  static constexpr std::size_t kGapSpansKept = 4096;  // of each row
  struct Listed {
    Event event;
    std::size_t file = 0;
  };
  // The files in name order; then Finish settles what is still open.
  void Fold(const FileReport& f);
  void Finish();
  void Apply(Row& row, const varnet::RunEvent& e);
  void Note(std::size_t file, const Event& e);
  void Keep(std::size_t file, const Event& e);
  // The events of the captures' settlement count where they fall in it.
  Window window;
  // Each capture's settlement, by folder, while files are folded.
  std::map<std::string, std::shared_ptr<varnet::CaptureRuns>> captures;

  std::vector<File> files;
  std::vector<Row> rows;
  std::int64_t widest = 1000;  // the files' traffic buckets
  bool heartbeats = false;
  std::map<int, Heard> workstations, devices;
  std::map<int, std::uint64_t> revertiveCounts;
  std::int64_t heardUntil = INT64_MIN;
  std::vector<std::pair<std::int64_t, std::int64_t>> covered;
  std::map<std::string, std::uint64_t> eventCounts;
  std::uint64_t allEvents = 0;
  std::map<std::string, Buckets> eventMarks;
  std::map<std::string, std::vector<Listed>> events;  // the earliest of each kind
  std::vector<std::pair<FileReport::Gap, std::size_t>> gaps;  // the first, with their file
  std::uint64_t gapsCounted = 0;
};

// The page, from the files' reports (in name order).
std::string RenderPage(const std::vector<const FileReport*>& files, const PageOptions& options);
std::string RenderPage(const PageData& data, const PageOptions& options);

// The alive rule's silences of what a capture heard: longer than twice its
// usual interval (when it was heard often enough to have one), inside the
// spans covered (where the capture recorded and lost nothing), up to until
// (its last arrival). The strips draw these dark.
PageData::Spans Silences(const PageData::Heard& heard, const PageData::Spans& covered,
                         std::int64_t until);
// The rows of Traffic as the page names them: by their folder's last part,
// or as many parts as tell two folders apart.
std::vector<std::string> CaptureNames(const std::vector<PageData::Row>& rows);

// The local hour a "PKT_YYYYMMDD.HH" name gives (ms), kNoTime for none.
std::int64_t HourOfName(const std::string& name);
// "YYYY-MM-DD HH:MM[:SS[.FFF]]" (or with a 'T'), local time, or the same
// with ISO 8601's zone as the page writes its times: "Z" (UTC) or an offset
// (+01:00, +0100, +01, -05:30), as ms since 1970; false when the text is no
// such time.
// A local time the clock passes twice (it goes back) or never (it goes
// forward) is refused, with why in *why.
bool ParseLocalTime(const std::string& text, std::int64_t* ms, std::string* why = nullptr);

// The report mode, on the parsed command line: 0 done, 1 a file could not be
// read or held bad records (the page is written with --keep-going) or the
// page could not be written, 2 usage.
int RunReport(const Options& o, std::FILE* out, std::FILE* err, std::FILE* in);

}  // namespace report
}  // namespace pktdump
