#include "core/packet_runs.h"

#include "core/packet_file.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace varnet {

namespace {

constexpr std::uint64_t kTurn = 1ull << 32, kHalf = 1ull << 31;

// The number nearest to last whose low 32 bits are sequence.
std::uint64_t Nearest(std::uint64_t last, std::uint32_t sequence) {
  std::uint64_t n = (last & ~(kTurn - 1)) | sequence;
  if (n + kHalf < last) {
    n += kTurn;
  } else if (n >= kTurn && n > last + kHalf) {
    n -= kTurn;
  }
  return n;
}

using Spans = std::map<std::uint64_t, FileRuns::Span>;

// The span holding n, or end.
Spans::iterator Holding(Spans& spans, std::uint64_t n) {
  auto at = spans.upper_bound(n);
  if (at == spans.begin()) return spans.end();
  --at;
  return at->second.hi >= n ? at : spans.end();
}

// Joins the span at `at` with its neighbours where they touch; returns
// the span it is part of.
Spans::iterator Join(Spans& spans, Spans::iterator at) {
  if (at != spans.begin()) {
    auto before = std::prev(at);
    if (before->second.hi + 1 == at->first) {
      before->second.hi = at->second.hi;
      before->second.last = at->second.last;
      spans.erase(at);
      at = before;
    }
  }
  auto after = std::next(at);
  if (after != spans.end() && at->second.hi + 1 == after->first) {
    at->second.hi = after->second.hi;
    at->second.last = after->second.last;
    spans.erase(after);
  }
  return at;
}

RunEvent GapBetween(const FileRuns::Span& a, std::uint64_t aHi, std::uint64_t bLo,
                    const FileRuns::Span& b) {
  RunEvent e;
  e.kind = RunEvent::kGap;
  e.file = b.first.file;
  e.record = b.first.record;
  e.time = b.first.time;
  e.beforeFile = a.last.file;
  e.beforeRecord = a.last.record;
  e.beforeTime = a.last.time;
  e.lost = bLo - aHi - 1;
  e.from = static_cast<std::uint32_t>(aHi + 1);
  e.to = static_cast<std::uint32_t>(bLo - 1);
  return e;
}

}  // namespace

std::uint64_t FileRuns::Extend(const Segment& s, std::uint32_t sequence) const {
  return Nearest(s.last, sequence);
}

void FileRuns::Add(std::int64_t record, std::uint32_t sequence, int tag, std::int64_t time) {
  Segment* s = segments_.empty() ? nullptr : &segments_.back();
  bool fresh = s == nullptr || broken_ || s->tag != tag;
  if (!fresh && tag < 0) {
    // Not recorded: the count starts again at 1, or far below.
    fresh = sequence == 1 || Extend(*s, sequence) + window_ < s->top;
  }
  const Point here{0, record, time};
  if (fresh) {
    Segment next;
    next.tag = tag;
    next.afterBreak = broken_;
    next.restart = tag < 0 && (s != nullptr || sequence == 1);
    next.last = next.top = sequence;
    next.firstSequence = sequence;
    next.first = here;
    segments_.push_back(std::move(next));
    s = &segments_.back();
    broken_ = false;
  }
  const std::uint64_t n = fresh ? sequence : Extend(*s, sequence);
  ++s->records;
  s->last = n;
  s->top = std::max(s->top, n);
  s->end = here;
  if (time != kNoRunTime) {
    if (s->earliest == kNoRunTime || time < s->earliest) s->earliest = time;
    if (s->latest == kNoRunTime || time > s->latest) s->latest = time;
  }
  // The common case first: the number after the one before.
  if (s->hotValid && s->hot->second.hi + 1 == n) {
    const auto next = std::next(s->hot);
    if (next == s->spans.end() || next->first > n + 1) {
      s->hot->second.hi = n;
      s->hot->second.last = here;
      return;
    }
  }
  if (Holding(s->spans, n) != s->spans.end()) {
    RunEvent e;
    e.kind = RunEvent::kRepeat;
    e.record = record;
    e.time = time;
    e.sequence = sequence;
    e.run = tag;
    e.lost = 1;
    e.from = e.to = sequence;
    s->events.push_back(e);
    return;
  }
  s->hot = Join(s->spans, s->spans.emplace(n, Span{n, here, here}).first);
  s->hotValid = true;
  if (s->spans.size() <= std::max(openSpans_, s->settleAt)) return;
  // Too many open gaps: the oldest that no other file can fill (beyond the
  // window of the file's lowest number and of its highest) are settled.
  const std::uint64_t lowest = s->spans.begin()->first;
  auto a = s->spans.begin();
  while (a != s->spans.end() && a->second.hi < lowest + window_) ++a;
  if (a == s->spans.end()) {
    s->settleAt = 2 * s->spans.size();
    return;
  }
  for (auto b = std::next(a);
       b != s->spans.end() && b->first + window_ <= s->top && s->spans.size() > openSpans_ / 2;) {
    RunEvent e = GapBetween(a->second, a->second.hi, b->first, b->second);
    e.run = tag;
    s->events.push_back(e);
    a->second.hi = b->second.hi;
    a->second.last = b->second.last;
    b = s->spans.erase(b);
  }
  s->hot = a;
  // What the window still holds open cannot be settled yet: the next pass
  // waits until there are twice as many, so that dense loss costs a pass
  // per doubling, not one per record.
  s->settleAt = 2 * s->spans.size();
}

bool CaptureRuns::HoursMissingBetween(std::int64_t a, std::int64_t b) const {
  if (a == kNoRunTime || b == kNoRunTime) return false;
  const std::int64_t from = std::min(a, b), to = std::max(a, b);
  for (std::int64_t h = from + 1; h < to; ++h) {
    if (h - from > 24 * 366 || (given_.count(h) == 0 && LocalHourExists(h))) return true;
  }
  return false;
}

void CaptureRuns::Emit(const RunEvent& given, Run* run) {
  RunEvent e = given;
  if (e.kind == RunEvent::kGap && e.beforeFile >= 0 && e.beforeFile != e.file) {
    // Between two hour files with an hour between them that the clock had
    // and no file given holds: not proven.
    const auto a = hours_.find(e.beforeFile), b = hours_.find(e.file);
    if (a != hours_.end() && b != hours_.end() && HoursMissingBetween(a->second, b->second)) {
      e.kind = RunEvent::kMissing;
    }
  }
  switch (e.kind) {
    case RunEvent::kMissing:
      totals_.missing += e.lost;
      break;
    case RunEvent::kGap:
      ++totals_.gaps;
      totals_.lost += e.lost;
      if (run != nullptr) run->summary.lost += e.lost;
      break;
    case RunEvent::kRepeat:
      totals_.repeats += e.lost;
      break;
    case RunEvent::kEarlier:
      totals_.earlier += e.lost;
      break;
    case RunEvent::kNewRun:
      break;
  }
  events_.push_back(e);
}

void CaptureRuns::Insert(Run& run, std::uint64_t lo, const FileRuns::Span& span, int tag) {
  FileRuns::Span part = span;
  const std::uint64_t hi = span.hi;
  // What another file already holds came twice: the parts between are new.
  for (std::uint64_t at = lo; at <= hi;) {
    auto holding = Holding(run.spans, at);
    std::uint64_t end;
    if (holding != run.spans.end()) {
      end = std::min(hi, holding->second.hi);
      RunEvent e;
      e.kind = RunEvent::kRepeat;
      e.file = span.first.file;
      e.record = span.first.record;
      e.time = span.first.time;
      e.sequence = static_cast<std::uint32_t>(at);
      e.run = tag;
      e.lost = end - at + 1;
      e.from = static_cast<std::uint32_t>(at);
      e.to = static_cast<std::uint32_t>(end);
      Emit(e);
    } else {
      auto next = run.spans.upper_bound(at);
      end = next == run.spans.end() ? hi : std::min(hi, next->first - 1);
      part.hi = end;
      Join(run.spans, run.spans.emplace(at, part).first);
    }
    if (end == hi) break;
    at = end + 1;
  }
}

void CaptureRuns::Settle(Run& run, bool all) {
  // Before the end only too many open gaps are settled, the oldest first.
  if (run.spans.size() < 2 || (!all && run.spans.size() <= openSpans_)) return;
  auto a = run.spans.begin();
  for (auto b = std::next(a); b != run.spans.end() && (all || run.spans.size() > openSpans_ / 2);) {
    RunEvent e = GapBetween(a->second, a->second.hi, b->first, b->second);
    e.run = run.tag;
    Emit(e, &run);
    a->second.hi = b->second.hi;
    a->second.last = b->second.last;
    b = run.spans.erase(b);
  }
}

void CaptureRuns::Fold(const FileRuns& runs, int file, std::int64_t hour) {
  hours_[file] = hour;
  if (hour != kNoRunTime) given_.insert(hour);
  for (const FileRuns::Segment& seg : runs.segments_) {
    int index = -1;
    std::uint64_t shift = 0;
    if (!seg.afterBreak && anyTimed_) {
      if (seg.tag >= 0) {
        // The run of this tag, wherever its last records fell: a clock set
        // back interleaves two runs in the same files.
        for (int i = static_cast<int>(runs_.size()) - 1; i >= 0; --i) {
          if (runs_[i].tag == seg.tag) {
            index = i;
            break;
          }
        }
      } else if (!seg.restart && current_ >= 0 && runs_[current_].tag < 0) {
        index = current_;
      }
      if (index >= 0) {
        Run& run = runs_[index];
        const std::uint64_t n = Nearest(run.last, seg.firstSequence);
        shift = n - seg.firstSequence;
        // A first number it has, where a run starts (1) or far below the
        // run's top: the tag came round again for a new run. Any other
        // goes on the run, however far below its top (a clock set back puts
        // a run's numbers in hour files out of their order), and a number
        // it has is a repeat, as a datagram handed over twice at an hour
        // change is.
        if (Holding(run.spans, n) != run.spans.end() && (n == 1 || n + kReorderWindow < run.top)) {
          index = -1;
        }
      }
    }
    if (index < 0) {
      if (anyTimed_) {
        RunEvent e;
        e.kind = RunEvent::kNewRun;
        e.file = file;
        e.record = seg.first.record;
        e.time = seg.first.time;
        e.sequence = seg.firstSequence;
        e.run = seg.tag;
        Emit(e);
      }
      Run run;
      run.tag = seg.tag;
      run.summary.tag = seg.tag;
      run.first = !anyTimed_;
      run.last = run.top = seg.firstSequence;
      runs_.push_back(std::move(run));
      index = static_cast<int>(runs_.size()) - 1;
      shift = 0;
      ++totals_.runs;
    }
    anyTimed_ = true;
    totals_.timed = true;
    Run& run = runs_[index];
    for (const auto& [lo, span] : seg.spans) {
      FileRuns::Span moved = span;
      moved.hi += shift;
      moved.first.file = moved.last.file = file;
      Insert(run, lo + shift, moved, seg.tag);
    }
    for (RunEvent e : seg.events) {
      e.file = file;
      if (e.kind == RunEvent::kGap) e.beforeFile = file;
      Emit(e, &run);
    }
    run.summary.records += seg.records;
    if (seg.earliest != kNoRunTime) {
      if (run.summary.first == kNoRunTime || seg.earliest < run.summary.first) run.summary.first = seg.earliest;
      if (run.summary.last == kNoRunTime || seg.latest > run.summary.last) run.summary.last = seg.latest;
    }
    run.last = seg.last + shift;
    run.top = std::max(run.top, seg.top + shift);
    Settle(run, false);
    // The capture recorded from the run's first arrival to its last; a run
    // that goes on into the next hour's file joins its span there.
    if (seg.earliest != kNoRunTime) {
      if (current_ == index && !recording_.empty() && recording_.back().run == seg.tag &&
          seg.earliest >= recording_.back().from) {
        recording_.back().to = std::max(recording_.back().to, seg.latest);
      } else {
        recording_.push_back({seg.earliest, seg.latest, seg.tag});
      }
    }
    current_ = index;
  }
}

void CaptureRuns::Finish() {
  for (Run& run : runs_) {
    if (run.finished) continue;
    run.finished = true;
    Settle(run, true);
    if (run.tag < 0 || run.spans.empty()) continue;
    // A recorded run counts from 1: what is below its first number never
    // came, or, for the capture's first run, may be in an earlier file.
    const auto& [lo, span] = *run.spans.begin();
    if (lo <= 1) continue;
    RunEvent e;
    e.kind = run.first ? RunEvent::kEarlier : RunEvent::kGap;
    // A later run that starts after hours not given may have begun there.
    if (!run.first && hours_.count(span.first.file) != 0) {
      const std::int64_t hour = hours_[span.first.file];
      auto before = hour == kNoRunTime ? given_.end() : given_.lower_bound(hour);
      if (before != given_.begin() && before != given_.end() && HoursMissingBetween(*std::prev(before), hour)) {
        e.kind = RunEvent::kMissing;
      }
    }
    e.file = span.first.file;
    e.record = span.first.record;
    e.time = span.first.time;
    e.run = run.tag;
    e.lost = lo - 1;
    e.from = 1;
    e.to = static_cast<std::uint32_t>(lo - 1);
    Emit(e, &run);
  }
}

std::vector<RunSummary> CaptureRuns::Runs() const {
  std::vector<RunSummary> out;
  for (const Run& run : runs_) out.push_back(run.summary);
  return out;
}

std::vector<RunEvent> CaptureRuns::Take() { return std::exchange(events_, {}); }

}  // namespace varnet
