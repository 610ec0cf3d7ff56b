// The records' sequence numbers across the files of the captures given:
// the core's settlement (core/packet_runs.h) fed file by file, each
// capture (the files of one folder) folded in name order at the end, and
// the texts summary and check print for what it found. Portable.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/packet_record.h"
#include "core/packet_runs.h"

namespace pktdump {

using SequenceEvent = varnet::RunEvent;

// The event as summary and check print it after the file's name.
std::string EventText(const SequenceEvent& event);

// "1 datagram", "2 datagrams".
std::string Count(std::uint64_t n, const char* thing);

// Whether file a comes before file b in a capture: by the hours their
// names give (whatever the letters' case), names that give none after.
bool HourOrder(const std::string& a, const std::string& b);

class Settlement {
 public:
  // The next file, by its index among the inputs, its folder (its capture)
  // and its name (the hour order within the capture).
  void BeginFile(int file, const std::string& folder, const std::string& name);
  // time: the record's arrival in the unit the events' times are wanted
  // in (kNoRunTime: none wanted).
  void Add(std::int64_t record, const varnet::RecordView& view,
           std::int64_t time = varnet::kNoRunTime);
  // Every capture folded and settled: the events, by file and record.
  std::vector<SequenceEvent> Finish();
  const varnet::RunTotals& Totals() const { return totals_; }

 private:
  struct Pending {
    int file;
    std::string folder, name;
    std::unique_ptr<varnet::FileRuns> runs;
  };
  std::vector<Pending> files_;
  varnet::RunTotals totals_;
};

}  // namespace pktdump
