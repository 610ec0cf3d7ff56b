// The settlement of a capture's runs across its packet data files: which
// sequence numbers of each run never came, came twice, or may be in a file
// before those given. Part of the packet file's one owner (packet_file.h):
// Varnet's loss lines, pktdump's check, summary, report and pcapng all
// count by it, so their figures are one. Portable.
//
// A run is one start of the recorder: its numbers count from 1, and its
// records carry a run tag that differs from the tag of the run before it
// and from the last tag of the hour file it appends to. Each file is read
// on its own (FileRuns, in any order, in parallel), then folded into its
// capture (CaptureRuns) in name order. Numbers are 64-bit: a run's count
// goes on past 4294967295, where the wrapper's 32-bit counter starts again
// at 0. A run is known by its tag, wherever its records fall, so the two
// runs a clock set back interleaves in the same hour files are kept apart,
// and numbers reordered across an hour change are matched across files.
// Records written before tags (the 'T' marker) carry none: for them a run
// starts at a sequence of 1, or one far below what the run has seen, or
// after a record without its arrival, and counts from its first number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

namespace varnet {

constexpr std::int64_t kNoRunTime = INT64_MIN;
// How far numbers may come out of order (the wrapper's queues, twice over).
constexpr std::size_t kReorderWindow = 1 << 16;

struct RunEvent {
  // kEarlier: the first numbers of the capture's first run, which are lost
  // or in a file before those given. kGap: numbers proven lost. kMissing:
  // numbers between two files whose hours are not next to each other: the
  // hour files between, which are not given, may hold them.
  enum Kind { kGap, kNewRun, kRepeat, kEarlier, kMissing } kind = kGap;
  // Where it falls: the file (its index, as folded) and the record. A gap
  // falls before the record that carries the first number after it; the
  // record before it is beforeFile/beforeRecord (-1: none, the run's start).
  int file = 0;
  std::int64_t record = 0;
  int beforeFile = -1;
  std::int64_t beforeRecord = 0;
  // The arrivals (the caller's unit) of those two records.
  std::int64_t time = kNoRunTime, beforeTime = kNoRunTime;
  std::uint32_t sequence = 0;  // kNewRun: the run's first number; kRepeat: the number
  int run = -1;                // the run's tag, -1 for none
  std::uint64_t lost = 0;      // kGap, kEarlier: how many; kRepeat: 1
  std::uint32_t from = 0, to = 0;
};

struct RunTotals {
  std::uint64_t runs = 0, gaps = 0, lost = 0, repeats = 0, earlier = 0, missing = 0;
  bool timed = false;
};

// A run of the capture: its tag, its records, what it lost (proven), and
// its first and last arrivals.
struct RunSummary {
  int tag = -1;
  std::uint64_t records = 0, lost = 0;
  std::int64_t first = kNoRunTime, last = kNoRunTime;
};

// When the capture was recording: a run's records from its first to its
// last arrival, joined across the hour files it went on in.
struct RecordingSpan {
  std::int64_t from = kNoRunTime, to = kNoRunTime;
  int run = -1;
};

class FileRuns {
 public:
  // window: how far numbers may come out of order (the wrapper's queues).
  // Gaps stay open, whatever their age, until the capture is settled: a
  // clock set back puts a run's later numbers in an earlier hour's file.
  // Only past openSpans open gaps in a file are the oldest settled here,
  // those beyond the window of both its ends, so memory stays bounded.
  explicit FileRuns(std::size_t window = kReorderWindow, std::size_t openSpans = 1 << 16)
      : window_(window), openSpans_(openSpans) {}
  // A timed record: its number in the file (from 1), sequence, run tag (-1
  // none) and arrival (any unit, kNoRunTime when not known).
  void Add(std::int64_t record, std::uint32_t sequence, int tag, std::int64_t time);
  // A record without its arrival: the recorder takes PacketTimes once a
  // start, so the next timed record is another run's.
  void Untimed() { broken_ = true; }

  // A record, and the numbers from a span's lowest (its key) to hi that
  // came with no gap, with their first and last records.
  struct Point {
    int file = 0;  // set when the file is folded
    std::int64_t record = 0, time = kNoRunTime;
  };
  struct Span {
    std::uint64_t hi = 0;  // the key is the span's lowest number
    Point first, last;
  };

 private:
  friend class CaptureRuns;
  // Consecutive records of one run in the file.
  struct Segment {
    int tag = -1;
    bool afterBreak = false;  // an untimed record came before it
    bool restart = false;     // untagged: the count started again here
    std::uint64_t last = 0;   // the number that came last (for the wrap)
    std::uint64_t top = 0;    // the highest
    std::uint32_t firstSequence = 0;
    std::uint64_t records = 0;
    Point first, end;         // its first record; its last
    std::int64_t earliest = kNoRunTime, latest = kNoRunTime;
    std::map<std::uint64_t, Span> spans;
    std::map<std::uint64_t, Span>::iterator hot;  // the span the last number joined
    bool hotValid = false;
    std::size_t settleAt = 0;  // the open spans that make a settling pass (0: openSpans)
    std::vector<RunEvent> events;  // gaps settled and repeats found inside
  };
  std::uint64_t Extend(const Segment& s, std::uint32_t sequence) const;
  const std::size_t window_, openSpans_;
  bool broken_ = false;
  std::vector<Segment> segments_;
};

class CaptureRuns {
 public:
  // Past openSpans open gaps in a run, its oldest are settled before the
  // end.
  explicit CaptureRuns(std::size_t openSpans = 1 << 16) : openSpans_(openSpans) {}
  // The next file of the capture in name order; file is its index, as the
  // events name it; hour, the hour its name gives as a NaiveHour
  // (packet_file.h), kNoRunTime when it gives none. Files of no record
  // are folded too: their hours were given.
  void Fold(const FileRuns& runs, int file, std::int64_t hour = kNoRunTime);
  // After the last file: every number still open is settled.
  void Finish();
  // The events found since the last call, in the order they were settled.
  std::vector<RunEvent> Take();
  const RunTotals& Totals() const { return totals_; }
  const std::vector<RecordingSpan>& Recording() const { return recording_; }
  // Every run, in the order each was first met.
  std::vector<RunSummary> Runs() const;

 private:
  struct Run {
    int tag = -1;
    bool first = false;          // the capture's first run: may have begun earlier
    std::uint64_t last = 0, top = 0;
    std::map<std::uint64_t, FileRuns::Span> spans;
    bool finished = false;
    RunSummary summary;
  };
  void Insert(Run& run, std::uint64_t lo, const FileRuns::Span& span, int tag);
  void Settle(Run& run, bool all);
  void Emit(const RunEvent& e, Run* run = nullptr);
  // Whether an hour the clock had between two files' hours (NaiveHours)
  // is not among the hours given.
  bool HoursMissingBetween(std::int64_t a, std::int64_t b) const;

  const std::size_t openSpans_;
  std::map<int, std::int64_t> hours_;  // file -> its hour
  std::set<std::int64_t> given_;       // the hours of the files folded
  std::vector<Run> runs_;
  int current_ = -1;      // the run the last folded record belongs to
  bool anyTimed_ = false;
  std::vector<RunEvent> events_;
  RunTotals totals_;
  std::vector<RecordingSpan> recording_;
};

}  // namespace varnet
