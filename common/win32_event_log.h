// The Windows Application event log as the programs report to it: one
// source (RegisterEventSourceA, once), one worker thread that calls
// ReportEventA, and a small bounded queue between the program and it, so
// that a slow or failing event log never blocks the message loop and never
// ends the program. Events beyond the bound are dropped and counted; at the
// end the queue is drained for a bounded time, the source deregistered, and
// what did not reach the log is said once in the program's debug output.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "event_report.h"

namespace trelm {

class Win32EventLog final : public EventReport {
 public:
  struct Event {
    EventType type;
    unsigned id;
    std::vector<std::string> strings;
  };
  // Writes one event to the registered source; false when it was refused.
  // The real one is ReportEventA; tests give a writer they can hold up.
  using Writer = std::function<bool(HANDLE source, const Event& event)>;
  // Says one line in the program's own debug output (OutputDebugStringA
  // unless given).
  using Say = std::function<void(const char* text)>;

  static constexpr std::size_t kBound = 64;
  static constexpr unsigned kDrainMs = 2000;

  // Starts the worker, which registers the source under that name.
  explicit Win32EventLog(const char* source, Say say = nullptr, std::size_t bound = kBound,
                         Writer writer = nullptr);
  // Closes the log if Close was not called.
  ~Win32EventLog() override;
  Win32EventLog(const Win32EventLog&) = delete;
  Win32EventLog& operator=(const Win32EventLog&) = delete;

  void Report(EventType type, unsigned id, const std::vector<std::string>& strings) override;

  // Lets the worker write what waits for at most ms milliseconds, then
  // ends it (it deregisters the source) and says, once, how many events
  // did not reach the log. Events reported afterwards are dropped.
  void Close(unsigned ms = kDrainMs);

  // What did not reach the log so far: dropped for a full queue (or after
  // the close), refused by the log, and left waiting when the close gave up
  // (with the one the log was still being handed then).
  struct Losses {
    std::uint64_t dropped = 0;
    std::uint64_t refused = 0;
    std::uint64_t waiting = 0;
    std::uint64_t written = 0;
  };
  // After the close: the counts as they stood then.
  Losses Counts() const;

  // The ReportEventA type of a level.
  static WORD TypeOf(EventType type);

 private:
  struct Shared;
  static DWORD WINAPI Work(void* shared);
  void SayLosses(const Losses& counts, bool drained);

  Shared* shared_;
  Say say_;
  HANDLE thread_ = nullptr;
  bool closed_ = false;
  Losses final_;
};

}  // namespace trelm
