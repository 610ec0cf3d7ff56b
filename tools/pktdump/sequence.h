// The records' sequence numbers across the files of a night: where a run
// of the wrapper starts and which numbers never came. summary and check
// share it. Portable.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace pktdump {

// What the sequence showed: a new run, or a gap of lost datagrams.
struct SequenceEvent {
  bool newRun = false;
  std::int64_t record = 0;     // newRun: the record where the run starts
  std::uint32_t sequence = 0;  // newRun: its first number
  std::uint32_t lost = 0, from = 0, to = 0;  // a gap
};

// The event as summary and check print it after the file's name.
std::string EventText(const SequenceEvent& event);

class SequenceGaps {
 public:
  // A timed record of the sequence number.
  void Add(std::int64_t record, std::uint32_t sequence);
  // Numbers at the window's start that came are done with; with all set,
  // or a window too wide, those that never came are lost.
  void Settle(bool all);
  // The events since the last call.
  std::vector<SequenceEvent> Take();
  bool AnyTimed() const { return anyTimed_; }
  long GapCount() const { return gapCount_; }
  std::uint64_t Lost() const { return lost_; }

 private:
  static constexpr std::size_t kWindow = 1 << 16;
  bool anyTimed_ = false;
  std::uint32_t base_ = 0;         // every number below it came or was counted lost
  std::set<std::uint32_t> ahead_;  // numbers from base_ on that came
  std::vector<SequenceEvent> events_;
  long gapCount_ = 0;
  std::uint64_t lost_ = 0;
};

}  // namespace pktdump
