// The records' sequence numbers across the files of one capture: where a
// run of the recorder starts, which numbers never came and which came
// twice. summary and check share it. Portable.
//
// A record written with a run tag says which run it belongs to: a run
// starts where the tag changes, even when its first datagrams were lost,
// and its loss counts from its sequence 1. Records written before tags
// carry none; for them a run starts at a sequence of 1, or one far below
// what the run has seen, and counts from its first number.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace pktdump {

struct SequenceEvent {
  // kEarlier: the first numbers of the first run of the files, which
  // are lost or in an earlier file than those given.
  enum Kind { kGap, kNewRun, kRepeat, kEarlier } kind = kGap;
  // Where it falls: the input (its index among the files) and record. A
  // gap falls before the record that carries the first number after it.
  int file = 0;
  std::int64_t record = 0;
  std::uint32_t sequence = 0;  // kNewRun: the run's first number; kRepeat: the number
  int run = -1;                // kNewRun: its tag, or -1 for none
  std::uint32_t lost = 0, from = 0, to = 0;  // kGap, kEarlier
};

// The event as summary and check print it after the file's name.
std::string EventText(const SequenceEvent& event);

// "1 datagram", "2 datagrams".
std::string Count(std::uint64_t n, const char* thing);

class SequenceGaps {
 public:
  // window: how many later numbers must come before a missing one counts
  // as lost (how far completions may come out of order).
  explicit SequenceGaps(std::size_t window = 1 << 16) : kWindow(window) {}
  // A timed record: its input, number, sequence and run tag (-1: none).
  void Add(int file, std::int64_t record, std::uint32_t sequence, int run);
  // A record without its arrival. The recorder takes PacketTimes once a
  // start, so one between timed records is another run's: the next timed
  // record starts a new run, whatever its tag.
  void Untimed() { broken_ = anyTimed_; }
  // Numbers that came at the window's start are done with; with all set
  // (the end, or a new run), or a window too wide, those that never came
  // are lost.
  void Settle(bool all);
  // The events since the last call, in the order they were found.
  std::vector<SequenceEvent> Take();
  bool AnyTimed() const { return anyTimed_; }
  long Gaps() const { return gaps_; }
  std::uint64_t Lost() const { return lost_; }
  long Repeats() const { return repeats_; }
  std::uint64_t Earlier() const { return earlier_; }

 private:
  struct Where {
    int file;
    std::int64_t record;
  };
  const std::size_t kWindow;
  // The number as the run's count goes on past 4294967295, where the
  // wrapper's 32-bit counter starts again at 0: the one nearest to the
  // number that came last.
  std::uint64_t Extend(std::uint32_t sequence) const;
  bool anyTimed_ = false;
  bool broken_ = false;                  // an untimed record came since the last timed one
  int run_ = -1;                         // the tag of the run being read
  bool firstRun_ = true;                 // it began before the first record read
  // Numbers as Extend gives them.
  std::uint64_t first_ = 0;              // the run's first number: 1 when tagged
  std::uint64_t base_ = 0;               // every number below it came or was counted lost
  std::map<std::uint64_t, Where> ahead_;  // numbers from base_ on that came
  std::uint64_t last_ = 0;               // the number that came last
  std::vector<SequenceEvent> events_;
  long gaps_ = 0, repeats_ = 0;
  std::uint64_t lost_ = 0, earlier_ = 0;
};

}  // namespace pktdump
