#include "sequence.h"

#include <cstdio>
#include <utility>

namespace pktdump {

std::string Count(std::uint64_t n, const char* thing) {
  return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

std::string EventText(const SequenceEvent& e) {
  char text[200];
  switch (e.kind) {
    case SequenceEvent::kNewRun:
      if (e.run < 0) {
        std::snprintf(text, sizeof text,
                      "the sequence starts again at %u at record %lld (a new run)", e.sequence,
                      static_cast<long long>(e.record));
      } else {
        std::snprintf(text, sizeof text, "run %d starts at record %lld (sequence %u)", e.run,
                      static_cast<long long>(e.record), e.sequence);
      }
      break;
    case SequenceEvent::kEarlier:
      std::snprintf(text, sizeof text,
                    "%s not in these files (sequence %u to %u, before record %lld): lost, or in "
                    "an earlier file",
                    Count(e.lost, "datagram").c_str(), e.from, e.to, static_cast<long long>(e.record));
      break;
    case SequenceEvent::kRepeat:
      std::snprintf(text, sizeof text, "sequence %u repeated at record %lld", e.sequence,
                    static_cast<long long>(e.record));
      break;
    default:
      std::snprintf(text, sizeof text, "%s lost (sequence %u to %u) before record %lld",
                    Count(e.lost, "datagram").c_str(), e.from, e.to,
                    static_cast<long long>(e.record));
  }
  return text;
}

std::uint64_t SequenceGaps::Extend(std::uint32_t sequence) const {
  constexpr std::uint64_t kTurn = 1ull << 32, kHalf = 1ull << 31;
  std::uint64_t n = (last_ & ~(kTurn - 1)) | sequence;
  if (n + kHalf < last_) {
    n += kTurn;
  } else if (n >= kTurn && n > last_ + kHalf) {
    n -= kTurn;
  }
  return n;
}

void SequenceGaps::Add(int file, std::int64_t record, std::uint32_t sequence, int run) {
  bool newRun = !anyTimed_ || broken_;
  broken_ = false;
  if (!newRun) {
    if (run >= 0 || run_ >= 0) {
      // Recorded: the tag changes from one run to the next.
      newRun = run != run_;
    } else {
      // Not recorded: the count starts again at 1, or far below.
      newRun = sequence == 1 || Extend(sequence) + kWindow < base_;
    }
  }
  if (newRun) {
    if (anyTimed_) {
      Settle(true);
      SequenceEvent e;
      e.kind = SequenceEvent::kNewRun;
      e.file = file;
      e.record = record;
      e.sequence = sequence;
      e.run = run;
      events_.push_back(e);
    }
    firstRun_ = !anyTimed_;
    anyTimed_ = true;
    run_ = run;
    // A tagged run is known to start here: its loss counts from 1.
    base_ = run >= 0 ? 1 : sequence;
    first_ = base_;
    last_ = base_;
    ahead_.clear();
  }
  // Records come in the order their completions were handled, which the
  // two names' queues can change: a number is lost only once the window
  // has passed it, or at the end.
  // Below where an untagged run was first seen is an early number that
  // came late, not one that came again: it is not known.
  const std::uint64_t n = Extend(sequence);
  last_ = n;
  if (n < first_) return;
  if (n < base_ || ahead_.count(n) != 0) {
    SequenceEvent e;
    e.kind = SequenceEvent::kRepeat;
    e.file = file;
    e.record = record;
    e.sequence = sequence;
    events_.push_back(e);
    ++repeats_;
    return;
  }
  ahead_[n] = Where{file, record};
  Settle(false);
}

void SequenceGaps::Settle(bool all) {
  for (;;) {
    while (!ahead_.empty() && ahead_.begin()->first == base_) {
      ahead_.erase(ahead_.begin());
      ++base_;
    }
    if (ahead_.empty() || (!all && ahead_.size() <= kWindow)) return;
    const auto next = ahead_.begin();
    SequenceEvent e;
    e.kind = SequenceEvent::kGap;
    e.file = next->second.file;
    e.record = next->second.record;
    e.lost = static_cast<std::uint32_t>(next->first - base_);
    e.from = static_cast<std::uint32_t>(base_);
    e.to = static_cast<std::uint32_t>(next->first - 1);
    if (firstRun_ && run_ >= 0 && base_ == 1) {
      e.kind = SequenceEvent::kEarlier;
      earlier_ += e.lost;
    } else {
      lost_ += e.lost;
      ++gaps_;
    }
    events_.push_back(e);
    base_ = next->first;
  }
}

std::vector<SequenceEvent> SequenceGaps::Take() { return std::exchange(events_, {}); }

}  // namespace pktdump
