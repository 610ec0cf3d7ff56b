#include "sequence.h"

#include <cstdio>
#include <utility>

namespace pktdump {

std::string EventText(const SequenceEvent& e) {
  char text[160];
  if (e.newRun) {
    std::snprintf(text, sizeof text, "the sequence starts again at %u at record %lld (a new run)",
                  e.sequence, static_cast<long long>(e.record));
  } else {
    std::snprintf(text, sizeof text, "%u datagrams lost (sequence %u to %u)", e.lost, e.from,
                  e.to);
  }
  return text;
}

void SequenceGaps::Add(std::int64_t record, std::uint32_t sequence) {
  // The count starts again with each run of the wrapper: at 1, or far
  // below what this run has seen.
  if (anyTimed_ && (sequence == 1 || static_cast<std::uint64_t>(sequence) + kWindow < base_)) {
    Settle(true);
    SequenceEvent e;
    e.newRun = true;
    e.record = record;
    e.sequence = sequence;
    events_.push_back(e);
    anyTimed_ = false;
  }
  if (!anyTimed_) {
    anyTimed_ = true;
    base_ = sequence;
    ahead_.clear();
  }
  // Records come in the order their completions were handled, which the
  // two names' queues can change: a number is lost only once the window
  // has passed it, or at the end.
  if (sequence >= base_) ahead_.insert(sequence);
  Settle(false);
}

void SequenceGaps::Settle(bool all) {
  for (;;) {
    while (!ahead_.empty() && *ahead_.begin() == base_) {
      ahead_.erase(ahead_.begin());
      ++base_;
    }
    if (ahead_.empty() || (!all && ahead_.size() <= kWindow)) return;
    const std::uint32_t next = *ahead_.begin();
    SequenceEvent e;
    e.lost = next - base_;
    e.from = base_;
    e.to = next - 1;
    events_.push_back(e);
    lost_ += e.lost;
    ++gapCount_;
    base_ = next;
  }
}

std::vector<SequenceEvent> SequenceGaps::Take() { return std::exchange(events_, {}); }

}  // namespace pktdump
