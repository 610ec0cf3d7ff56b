// The event log's queue and worker under Wine: events reach the log in
// the order reported; a log that holds up never holds up the reporter,
// whose events beyond the bound are dropped and counted; the close drains
// for a bounded time and says once what was lost; and the real calls
// (RegisterEventSourceA, ReportEventA) are made. Every wait is bounded.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win32_event_log.h"

namespace trelm {
namespace {

// A log the test can hold up: each write signals that it began, waits for
// the gate (when closed), then records the event.
struct HeldLog {
  HANDLE gate = CreateEventA(nullptr, TRUE, TRUE, nullptr);      // open
  HANDLE began = CreateEventA(nullptr, FALSE, FALSE, nullptr);   // a write began
  HANDLE ended = CreateEventA(nullptr, TRUE, FALSE, nullptr);    // the last write ended
  std::vector<Win32EventLog::Event> written;  // read once the worker is done
  std::vector<std::string> said;
  bool refuse = false;

  ~HeldLog() {
    CloseHandle(gate);
    CloseHandle(began);
    CloseHandle(ended);
  }
  Win32EventLog::Writer Writer() {
    return [this](HANDLE source, const Win32EventLog::Event& event) {
      ResetEvent(ended);
      SetEvent(began);
      WaitForSingleObject(gate, 30000);
      written.push_back(event);
      const bool taken = source != nullptr && !refuse;
      SetEvent(ended);  // the last touch of this object
      return taken;
    };
  }
  Win32EventLog::Say Say() {
    return [this](const char* text) { said.push_back(text); };
  }
};

std::vector<std::string> Strings(int n) { return {"event " + std::to_string(n)}; }

TEST(Win32EventLog, EventsReachTheLogInOrderAndNothingIsSaidWhenNoneIsLost) {
  HeldLog log;
  Win32EventLog events("EventLogTest", log.Say(), 8, log.Writer());
  const EventType types[] = {EventType::Information, EventType::Warning, EventType::Error};
  for (int n = 0; n < 6; ++n) {
    events.Report(types[n % 3], 100 + n, {"a", std::to_string(n), "c:\\path with blanks"});
    // The writer is quick: wait until it took this one, so the bound of 8
    // is never met.
    ASSERT_EQ(WaitForSingleObject(log.began, 10000), WAIT_OBJECT_0);
  }
  events.Close(10000);
  ASSERT_EQ(log.written.size(), 6u);
  for (int n = 0; n < 6; ++n) {
    EXPECT_EQ(log.written[n].id, 100u + n);
    EXPECT_EQ(log.written[n].type, types[n % 3]);
    EXPECT_EQ(log.written[n].strings,
              (std::vector<std::string>{"a", std::to_string(n), "c:\\path with blanks"}));
  }
  EXPECT_TRUE(log.said.empty());
  EXPECT_EQ(events.Counts().written, 6u);
  EXPECT_EQ(events.Counts().dropped, 0u);
}

TEST(Win32EventLog, AHeldUpLogDropsWhatIsBeyondTheBoundAndSaysItOnce) {
  HeldLog log;
  ResetEvent(log.gate);
  Win32EventLog events("EventLogTest", log.Say(), 4, log.Writer());
  events.Report(EventType::Information, 1, Strings(1));
  ASSERT_EQ(WaitForSingleObject(log.began, 10000), WAIT_OBJECT_0) << "the worker took the first";
  // The worker is held inside the log: four wait, three are dropped, and
  // the reporter never waits.
  const ULONGLONG before = GetTickCount64();
  for (int n = 2; n <= 8; ++n) events.Report(EventType::Warning, n, Strings(n));
  EXPECT_LT(GetTickCount64() - before, 1000u) << "reporting never waits for the log";
  EXPECT_EQ(events.Counts().dropped, 3u);
  SetEvent(log.gate);
  events.Close(10000);
  std::vector<unsigned> ids;
  for (const auto& e : log.written) ids.push_back(e.id);
  EXPECT_EQ(ids, (std::vector<unsigned>{1, 2, 3, 4, 5}));
  ASSERT_EQ(log.said.size(), 1u);
  EXPECT_EQ(log.said[0],
            "EventLogTest: 3 events did not reach the event log: 3 dropped (queue full), 0 refused, "
            "0 still waiting at the end");
  // After the close: dropped, counted, and not said again.
  events.Report(EventType::Error, 9, Strings(9));
  EXPECT_EQ(events.Counts().dropped, 4u);
  EXPECT_EQ(log.said.size(), 1u);
}

TEST(Win32EventLog, TheCloseGivesUpOnALogThatDoesNotAnswerAndSaysWhatWaited) {
  HeldLog log;
  ResetEvent(log.gate);
  {
    Win32EventLog events("EventLogTest", log.Say(), 8, log.Writer());
    events.Report(EventType::Information, 1, Strings(1));
    ASSERT_EQ(WaitForSingleObject(log.began, 10000), WAIT_OBJECT_0);
    events.Report(EventType::Information, 2, Strings(2));
    events.Report(EventType::Information, 3, Strings(3));
    const ULONGLONG before = GetTickCount64();
    events.Close(300);
    EXPECT_LT(GetTickCount64() - before, 5000u) << "the close is bounded";
    // The two in the queue, and the one the log still held: the program
    // ends, and it with it.
    EXPECT_EQ(events.Counts().waiting, 3u);
    EXPECT_EQ(events.Counts().written, 0u);
    ASSERT_EQ(log.said.size(), 1u);
    EXPECT_EQ(log.said[0],
              "EventLogTest: 3 events did not reach the event log: 0 dropped (queue full), 0 "
              "refused, 3 still waiting at the end (the event log did not answer in time)");
  }
  // The log answers at last: the worker ends its write on what it kept,
  // after the log object is gone, and writes nothing more.
  SetEvent(log.gate);
  ASSERT_EQ(WaitForSingleObject(log.ended, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(log.written.size(), 1u);
}

TEST(Win32EventLog, RefusedEventsAreCountedAndSaid) {
  HeldLog log;
  log.refuse = true;
  Win32EventLog events("EventLogTest", log.Say(), 8, log.Writer());
  events.Report(EventType::Error, 7, Strings(7));
  ASSERT_EQ(WaitForSingleObject(log.began, 10000), WAIT_OBJECT_0);
  events.Close(10000);
  EXPECT_EQ(events.Counts().refused, 1u);
  ASSERT_EQ(log.said.size(), 1u);
  EXPECT_NE(log.said[0].find("1 events did not reach the event log: 0 dropped (queue full), 1 refused"),
            std::string::npos)
      << log.said[0];
}

TEST(Win32EventLog, TheRealCallsTakeEveryLevel) {
  // RegisterEventSourceA and ReportEventA themselves (Wine writes what
  // they get to its debug channel "eventlog").
  std::vector<std::string> said;
  Win32EventLog events("EventLogTest", [&](const char* text) { said.push_back(text); });
  events.Report(EventType::Information, 100, {"one"});
  events.Report(EventType::Warning, 200, {"two", "2"});
  events.Report(EventType::Error, 201, {});
  events.Close(10000);
  EXPECT_EQ(events.Counts().written, 3u);
  EXPECT_EQ(events.Counts().refused, 0u);
  EXPECT_TRUE(said.empty());
  EXPECT_EQ(Win32EventLog::TypeOf(EventType::Information), EVENTLOG_INFORMATION_TYPE);
  EXPECT_EQ(Win32EventLog::TypeOf(EventType::Warning), EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(Win32EventLog::TypeOf(EventType::Error), EVENTLOG_ERROR_TYPE);
}

}  // namespace
}  // namespace trelm
