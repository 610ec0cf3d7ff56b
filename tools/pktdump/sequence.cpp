#include "sequence.h"

#include "core/packet_file.h"

#include <algorithm>
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
    case SequenceEvent::kMissing:
      std::snprintf(text, sizeof text, "%s not in these files (sequence %u to %u, before record %lld): %s",
                    Count(e.lost, "datagram").c_str(), e.from, e.to, static_cast<long long>(e.record),
                    e.kind == SequenceEvent::kEarlier
                        ? "lost, or in an earlier file"
                        : "the hour files between are not among those given");
      break;
    case SequenceEvent::kRepeat:
      if (e.lost <= 1) {
        std::snprintf(text, sizeof text, "sequence %u repeated at record %lld", e.sequence,
                      static_cast<long long>(e.record));
      } else {
        std::snprintf(text, sizeof text, "%s repeated (sequence %u to %u) from record %lld",
                      Count(e.lost, "sequence number").c_str(), e.from, e.to,
                      static_cast<long long>(e.record));
      }
      break;
    default:
      std::snprintf(text, sizeof text, "%s lost (sequence %u to %u) before record %lld",
                    Count(e.lost, "datagram").c_str(), e.from, e.to,
                    static_cast<long long>(e.record));
  }
  return text;
}

bool HourOrder(const std::string& a, const std::string& b) {
  const std::int64_t x = varnet::NaiveHourOf(a), y = varnet::NaiveHourOf(b);
  if (x != y) {
    if (x == varnet::kNoHour || y == varnet::kNoHour) return y == varnet::kNoHour;
    return x < y;
  }
  return a < b;
}

void Settlement::BeginFile(int file, const std::string& folder, const std::string& name) {
  files_.push_back({file, folder, name, std::make_unique<varnet::FileRuns>()});
}

void Settlement::Add(std::int64_t record, const varnet::RecordView& view, std::int64_t time) {
  varnet::FileRuns& runs = *files_.back().runs;
  if (!view.timed) {
    runs.Untimed();
    return;
  }
  runs.Add(record, view.arrival.sequence, view.arrival.run, time);
}

std::vector<SequenceEvent> Settlement::Finish() {
  // Each capture's hours in name order, whatever order they were given in.
  std::stable_sort(files_.begin(), files_.end(), [](const Pending& a, const Pending& b) {
    return a.folder != b.folder ? a.folder < b.folder : HourOrder(a.name, b.name);
  });
  std::vector<SequenceEvent> events;
  std::unique_ptr<varnet::CaptureRuns> capture;
  const auto finish = [&] {
    if (capture == nullptr) return;
    capture->Finish();
    for (SequenceEvent& e : capture->Take()) events.push_back(e);
    const varnet::RunTotals& t = capture->Totals();
    totals_.runs += t.runs;
    totals_.gaps += t.gaps;
    totals_.lost += t.lost;
    totals_.repeats += t.repeats;
    totals_.earlier += t.earlier;
    totals_.missing += t.missing;
    totals_.timed = totals_.timed || t.timed;
    capture.reset();
  };
  for (std::size_t i = 0; i < files_.size(); ++i) {
    if (i == 0 || files_[i].folder != files_[i - 1].folder) {
      finish();
      capture = std::make_unique<varnet::CaptureRuns>();
    }
    const std::int64_t hour = varnet::NaiveHourOf(files_[i].name);
    capture->Fold(*files_[i].runs, files_[i].file, hour == varnet::kNoHour ? varnet::kNoRunTime : hour);
    files_[i].runs.reset();
  }
  finish();
  files_.clear();
  std::stable_sort(events.begin(), events.end(), [](const SequenceEvent& a, const SequenceEvent& b) {
    return a.file != b.file ? a.file < b.file : a.record < b.record;
  });
  return events;
}

}  // namespace pktdump
