// Varnet's events in the Windows Application event log (source "Varnet"):
// their stable IDs, levels and insertion strings, and the calls that report
// them. The message table (win32/varnet_events.mc) holds the same IDs with
// their texts; the .exe is its own message file. IDs 1xx are information,
// 2xx warnings and errors; an ID, once given, keeps its meaning.
// Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <string>

#include "app/run_figures.h"
#include "event_report.h"

namespace varnet {

using trelm::EventType;

// %1 version, %2 channel, %3 log directory.
constexpr trelm::EventDef kEventStarted{100, EventType::Information, 3, "VARNET_STARTED"};
// %1 .. %7: the run's totals, as the close's "Lost in this run" lines give
// them: lines and records not written; datagrams dropped (queue full),
// malformed, while the channel was down, during replay, waiting at the close.
constexpr trelm::EventDef kEventClosed{101, EventType::Information, 9, "VARNET_CLOSED"};
// %1 channel, %2 retries.
constexpr trelm::EventDef kEventChannelBack{102, EventType::Information, 2, "VARNET_CHANNEL_BACK"};
// %1 lines, %2 records lost while writing failed.
constexpr trelm::EventDef kEventWritingResumed{103, EventType::Information, 2,
                                               "VARNET_WRITING_RESUMED"};
// %1 the capture log's retention line.
constexpr trelm::EventDef kEventRetentionDeleted{104, EventType::Information, 1,
                                                 "VARNET_RETENTION_DELETED"};
// %1 channel.
constexpr trelm::EventDef kEventChannelDown{200, EventType::Warning, 1, "VARNET_CHANNEL_DOWN"};
// %1 the file.
constexpr trelm::EventDef kEventWritingStopped{201, EventType::Error, 1, "VARNET_WRITING_STOPPED"};
// %1 .. %5: the datagrams of the close's loss line: dropped (queue full),
// malformed, while the channel was down, during replay, waiting at the close.
constexpr trelm::EventDef kEventDatagramsLost{202, EventType::Warning, 5, "VARNET_DATAGRAMS_LOST"};

constexpr trelm::EventDef kVarnetEvents[] = {
    kEventStarted,      kEventClosed,        kEventChannelBack,   kEventWritingResumed,
    kEventRetentionDeleted, kEventChannelDown, kEventWritingStopped, kEventDatagramsLost,
};

// Varnet's side of the event log: one call per event, with its strings.
class VarnetEvents {
 public:
  explicit VarnetEvents(trelm::EventReport& report) : report_(report) {}

  void Started(const char* version, int channel, const char* logDirectory);
  // The close's counts (CaptureLog::Counts once the close said them).
  void Closed(const RunCounts& counts);
  void ChannelDown(int channel);
  void ChannelBack(int channel, int retries);
  void WritingStopped(const std::string& file);
  void WritingResumed(std::uint64_t lines, std::uint64_t records);
  // The capture log's retention line, as written ("Retention deleted
  // LOG_20261201.07 (123 bytes), ...: older than 7 days").
  void RetentionDeleted(const std::string& line);
  // The close's loss line for datagrams.
  void DatagramsLost(const RunLoss& lost);

 private:
  trelm::EventReport& report_;
};

}  // namespace varnet
