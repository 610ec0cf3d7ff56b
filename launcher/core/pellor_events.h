// Pellor's events in the Windows Application event log (source "Pellor"):
// their stable IDs, levels and insertion strings, and the calls that report
// them. The message table (win32/pellor_events.mc) holds the same IDs with
// their texts; the .exe is its own message file. IDs are 3xx; an ID, once
// given, keeps its meaning. Portable: no <windows.h>.
#pragma once

#include <string>

#include "event_report.h"

namespace pellor {

using trelm::EventType;

// %1 command line, %2 the reason, %3 the entry's key, %4 the section.
constexpr trelm::EventDef kEventEntryNotStarted{300, EventType::Error, 4,
                                                "PELLOR_ENTRY_NOT_STARTED"};
// %1 seconds waited, %2 the section.
constexpr trelm::EventDef kEventOrmNotClosed{301, EventType::Warning, 2, "PELLOR_ORM_NOT_CLOSED"};
// %1 the wait entry, %2 seconds waited, %3 the retry now, %4 retries in all.
constexpr trelm::EventDef kEventAppReadyTimedOut{302, EventType::Warning, 4,
                                                 "PELLOR_APP_READY_TIMED_OUT"};
// %1 the wait entry, %2 seconds waited each time, %3 starts in all.
constexpr trelm::EventDef kEventAppReadyGaveUp{303, EventType::Error, 3, "PELLOR_APP_READY_GAVE_UP"};

constexpr trelm::EventDef kPellorEvents[] = {kEventEntryNotStarted, kEventOrmNotClosed,
                                             kEventAppReadyTimedOut, kEventAppReadyGaveUp};

// Pellor's side of the event log: one call per event, with its strings.
class PellorEvents {
 public:
  explicit PellorEvents(trelm::EventReport& report) : report_(report) {}

  void EntryNotStarted(const std::string& commandLine, const std::string& reason, const char* key,
                       const char* section);
  void OrmNotClosed(unsigned seconds, const char* section);
  void AppReadyTimedOut(const char* entry, unsigned seconds, int retry, int retries);
  void AppReadyGaveUp(const char* entry, unsigned seconds, int starts);

 private:
  trelm::EventReport& report_;
};

}  // namespace pellor
