// The events a program reported, read from Wine's debug output of it (see
// with_trace.sh): with WINEDEBUG "+eventlog,fixme+advapi", each ReportEventA
// gives one line with its type and ID,
//   0124:fixme:advapi:ReportEventA (00000000CAFE4242,0x0002,0x0000,0x000000c8,...,0x0001,...): stub
// and then one line per insertion string, as the string's level:
//   0124:warn:eventlog:ReportEventW L"c:\\logs\\PKT_20261209.07"
// (trace: for information, warn: for warnings, err: for errors). A string
// that holds line feeds gives a line for each part; an empty one, none.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "e2e_harness.h"

namespace trelm_e2e {

// The WINEDEBUG that has a program trace its event log.
constexpr const char* kEventTraceDebug = "-all,+eventlog,fixme+advapi";

struct TracedEvent {
  unsigned type = 0;   // EVENTLOG_INFORMATION_TYPE, ...
  unsigned id = 0;
  unsigned count = 0;  // insertion strings given
  std::vector<std::string> strings;
  std::string level;   // "trace", "warn" or "err": how Wine printed the strings
};

// Undoes Wine's quoting of a string (debugstr_w): \\ \" \n \r \t.
inline std::string Unquote(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
  }
  return out;
}

// The events in the order reported, from the trace's text.
inline std::vector<TracedEvent> ParseEventTrace(const std::string& text) {
  std::vector<TracedEvent> events;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    const std::size_t head = line.find(':');
    if (head == std::string::npos) continue;
    const std::string rest = line.substr(head + 1);
    unsigned long h = 0, type = 0, category = 0, id = 0, sid = 0, count = 0;
    if (rest.rfind("fixme:advapi:ReportEventA (", 0) == 0) {
      if (std::sscanf(rest.c_str() + 27, "%lx,%lx,%lx,%lx,%lx,%lx", &h, &type, &category, &id, &sid,
                      &count) == 6) {
        events.push_back(TracedEvent{static_cast<unsigned>(type), static_cast<unsigned>(id),
                                     static_cast<unsigned>(count), {}, ""});
      }
      continue;
    }
    for (const char* level : {"trace", "warn", "err"}) {
      const std::string prefix = std::string(level) + ":eventlog:ReportEventW L\"";
      if (rest.rfind(prefix, 0) != 0 || events.empty()) continue;
      const std::size_t close = rest.rfind('"');
      if (close < prefix.size()) break;
      events.back().strings.push_back(Unquote(rest.substr(prefix.size(), close - prefix.size())));
      events.back().level = level;
    }
  }
  return events;
}

// The trace file of this test (TRELM_TRACE), from a byte on.
class EventTrace {
 public:
  EventTrace() : path_(Built("TRELM_TRACE")) {}
  bool Available() const { return !path_.empty(); }
  // Where the trace ends now: what a program started afterwards reports
  // lies beyond it.
  std::size_t End() const { return ReadFile(path_).size(); }
  std::vector<TracedEvent> EventsFrom(std::size_t from) const {
    const std::string text = ReadFile(path_);
    return ParseEventTrace(from < text.size() ? text.substr(from) : std::string());
  }
  std::string TextFrom(std::size_t from) const {
    const std::string text = ReadFile(path_);
    return from < text.size() ? text.substr(from) : std::string();
  }

 private:
  std::string path_;
};

// WINEDEBUG for the programs this process starts next: on, their event
// log is traced; off, nothing is. A child takes its environment when it is
// created, so turning it off right after the start keeps the trace to it.
inline void SetTracedDebug(bool on) {
  SetEnvironmentVariableA("WINEDEBUG", on ? kEventTraceDebug : "-all");
}

}  // namespace trelm_e2e
