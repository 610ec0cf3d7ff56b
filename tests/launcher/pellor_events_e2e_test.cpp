// End to end: what the real pellor.exe reports to the Application event log
// under Wine, read from Wine's trace of its ReportEventA calls (the test
// runs under with_trace.sh; see event_trace.h): an ORM that never says it
// is closing and an entry that cannot be started, in one run; a wait entry
// whose program never reports ready, up to its first time-out.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/launcher_state.h"
#include "core/pellor_events.h"
#include "e2e_harness.h"
#include "event_trace.h"

namespace {

using namespace pellor;
using namespace trelm_e2e;

constexpr const char* kRoot = "c:\\pev";
constexpr const char* kConfig = "c:\\pev\\cfg";
constexpr const char* kBin = "c:\\pev\\bin";
constexpr const char* kList = "c:\\pev\\cfg\\LIST.INI";
constexpr const char* kMarks = "c:\\pev\\marks.txt";

std::string Describe(const std::vector<TracedEvent>& events) {
  std::string text;
  for (const TracedEvent& e : events) {
    text += std::to_string(e.id) + " type " + std::to_string(e.type) + ":";
    for (const std::string& s : e.strings) text += " [" + s + "]";
    text += "\n";
  }
  return text;
}

class PellorEventsEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(trace_.Available()) << "TRELM_TRACE names the trace file (with_trace.sh)";
    pellor_ = Built("TRELM_PELLOR");
    ASSERT_FALSE(pellor_.empty()) << "TRELM_PELLOR names the pellor.exe under test";
    for (const char* dir : {kRoot, kConfig, kBin}) CreateDirectoryA(dir, nullptr);
    for (const char* v : {"TRELM_ORM", "TRELM_APPREADY"}) {
      const std::string name = std::string(v) == "TRELM_ORM" ? "orm.exe" : "appready.exe";
      const std::string target = std::string(kBin) + "\\" + name;
      if (!CopyFileA(Built(v).c_str(), target.c_str(), FALSE)) {
        ASSERT_NE(GetFileAttributesA(target.c_str()), INVALID_FILE_ATTRIBUTES) << target;
      }
    }
    for (const char* file : {kList, kMarks}) DeleteFileA(file);
    DeleteFileA("c:\\trelm_config.ini");
    WritePrivateProfileStringA("Config", "ConfigPath", kConfig, "c:\\trelm_config.ini");
  }
  void TearDown() override {
    HWND orm;
    for (int waited = 0; waited < 10000 && (orm = WaitWindow(0, "ORM", "ORM", 0)) != nullptr;
         waited += 100) {
      PostMessageA(orm, WM_CLOSE, 0, 0);
      Sleep(100);
    }
    DeleteFileA("c:\\trelm_config.ini");
  }

  static void List(const char* section, std::vector<std::pair<const char*, std::string>> keys) {
    for (const auto& [key, value] : keys) WritePrivateProfileStringA(section, key, value.c_str(), kList);
  }
  // Pellor with its event log traced; the trace's end before it started.
  std::unique_ptr<Program> StartPellor(const char* arguments) {
    from_ = trace_.End();
    SetTracedDebug(true);
    auto pellor = std::make_unique<Program>("\"" + pellor_ + "\" " + arguments);
    SetTracedDebug(false);
    return pellor;
  }
  static void Expect(const TracedEvent& e, const trelm::EventDef& def,
                     const std::vector<std::string>& strings) {
    SCOPED_TRACE(def.name);
    EXPECT_EQ(e.id, def.id);
    EXPECT_EQ(e.count, def.strings);
    EXPECT_EQ(e.type, def.type == trelm::EventType::Error ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE);
    EXPECT_EQ(e.level, def.type == trelm::EventType::Error ? "err" : "warn");
    EXPECT_EQ(e.strings, strings);
  }

  EventTrace trace_;
  std::string pellor_;
  std::size_t from_ = 0;
};

TEST_F(PellorEventsEndToEnd, AnOrmThatNeverSaysItIsClosingAndAnEntryThatCannotStart) {
  // ORM closes when asked, but tells none of its clients: the launcher
  // waits its ten seconds.
  Program orm(std::string(kBin) + "\\orm.exe /silentclose /closedelay:300 /lifetime:60000");
  ASSERT_TRUE(orm.Started());
  ASSERT_NE(WaitWindow(orm.Pid(), "ORM", "ORM"), nullptr);
  const std::string missing = std::string(kBin) + "\\nosuch.exe /x";
  const std::string marker = std::string(kBin) + "\\appready.exe 0 none " + kMarks + " A";
  List("Workstation_008", {{"QuitWhenDone", "1"},
                           {"CloseRunningORMandWait", "1"},
                           {"Boot_1", missing},
                           {"Boot_2", marker}});
  std::unique_ptr<Program> pellor = StartPellor("8 LIST.INI");
  ASSERT_TRUE(pellor->Started());
  EXPECT_EQ(pellor->Wait(60000), 0);
  EXPECT_EQ(orm.Wait(10000), 0);
  ASSERT_EQ(ReadLines(kMarks).size(), 1u) << "the list went on after the entry that failed";

  const std::vector<TracedEvent> events = trace_.EventsFrom(from_);
  ASSERT_EQ(events.size(), 2u) << Describe(events) << trace_.TextFrom(from_).substr(0, 3000);
  Expect(events[0], kEventOrmNotClosed, {"10", "Workstation_008"});
  ASSERT_EQ(events[1].strings.size(), 4u) << Describe(events);
  // The reason is CreateProcess's error 2 and Windows' own words for it.
  const std::string reason = events[1].strings[1];
  EXPECT_EQ(reason.rfind("CreateProcess failed with error 2: ", 0), 0u) << reason;
  EXPECT_GT(reason.size(), std::string("CreateProcess failed with error 2: ").size()) << reason;
  Expect(events[1], kEventEntryNotStarted, {missing, reason, "Boot_1", "Workstation_008"});
}

TEST_F(PellorEventsEndToEnd, AReadyWaitThatRunsOutIsReportedWithItsRetry) {
  const std::string entry = std::string(kBin) + "\\appready.exe 0 none " + kMarks + " W [wait]";
  List("Workstation_009", {{"QuitWhenDone", "0"},
                           {"CloseRunningORMandWait", "0"},
                           {"Boot_1", entry}});
  std::unique_ptr<Program> pellor = StartPellor("9 LIST.INI");
  ASSERT_TRUE(pellor->Started());
  HWND main = WaitWindow(pellor->Pid(), kMainClass, kLauncherTitle);
  ASSERT_NE(main, nullptr);
  // The program starts and ends without a word: 30 s later the wait runs
  // out and the entry is started again.
  std::vector<TracedEvent> events;
  for (int waited = 0; waited < 60000 && events.empty(); waited += 250) {
    Sleep(250);
    events = trace_.EventsFrom(from_);
  }
  ASSERT_EQ(events.size(), 1u) << Describe(events);
  Expect(events[0], kEventAppReadyTimedOut, {entry, "30", "1", "3"});

  // Closed by the user: No to the log-off question.
  PostMessageA(main, WM_CLOSE, 0, 0);
  HWND box = WaitWindow(pellor->Pid(), "#32770", kLauncherTitle);
  ASSERT_NE(box, nullptr);
  PostMessageA(box, WM_COMMAND, IDNO, 0);
  EXPECT_EQ(pellor->Wait(20000), 0);
  EXPECT_GE(ReadLines(kMarks).size(), 2u) << "started again after the time-out";
}

}  // namespace
