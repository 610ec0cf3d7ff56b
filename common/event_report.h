// Reports to the Windows Application event log, as a role: a program's
// portable logic hands over an event (its level, its number in the
// program's message table, its insertion strings) and goes on; the program
// gives the real log (win32_event_log.h), tests record what was reported,
// and what has no event log takes NoEventReport. Portable: no <windows.h>.
#pragma once

#include <string>
#include <vector>

namespace trelm {

// The level an event is shown with (Event Viewer's "Level").
enum class EventType { Information, Warning, Error };

class EventReport {
 public:
  virtual ~EventReport() = default;
  // Hands the event over; never blocks and never fails the caller: an
  // event that cannot be reported is lost, and counted by the log.
  virtual void Report(EventType type, unsigned id, const std::vector<std::string>& strings) = 0;
};

// Reports nothing: for a part of a program, or a tool, that has no log.
class NoEventReport final : public EventReport {
 public:
  void Report(EventType, unsigned, const std::vector<std::string>&) override {}
};

// One event of a program's message table: its number (the event ID
// Event Viewer shows), its level, and how many insertion strings (%1 ..)
// its message takes. The program's list of them is what the message
// table test checks the built .exe against.
struct EventDef {
  unsigned id;
  EventType type;
  unsigned strings;
  const char* name;  // the .mc file's SymbolicName
};

// Reports one event of a table.
inline void Report(EventReport& report, const EventDef& event, const std::vector<std::string>& strings) {
  report.Report(event.type, event.id, strings);
}

}  // namespace trelm
