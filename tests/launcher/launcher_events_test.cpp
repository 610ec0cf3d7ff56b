// What the launcher reports to the event log: for each kind of run, the
// events in order, each at its moment of the virtual clock, with its level
// and insertion strings; and what the list does meanwhile is unchanged.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/launcher.h"
#include "launcher_rig.h"

namespace pellor::testing {
namespace {

using ::testing::ElementsAre;

const trelm::EventDef* Find(unsigned id) {
  for (const trelm::EventDef& event : kPellorEvents) {
    if (event.id == id) return &event;
  }
  return nullptr;
}

struct Expected {
  std::uint64_t at;
  unsigned id;
  std::vector<std::string> strings;
};

enum class Orm { None, Closes, NeverSaysClosing };

struct Case {
  const char* name;
  std::vector<std::string> entries;
  const char* closeWait;  // CloseRunningORMandWait
  Orm orm;
  std::map<std::string, std::string> startFailures;
  std::vector<Expected> events;
  std::vector<std::string> started;  // the starts that worked
};

const char* const kGone = "CreateProcess failed with error 2: File not found.";

const Case kCases[] = {
    {"a list that runs as it should", {"c:\\bin\\a.exe", "<pause> 2", "c:\\bin\\b.exe"}, "0",
     Orm::None, {}, {}, {"c:\\bin\\a.exe", "c:\\bin\\b.exe"}},
    {"a command that cannot start; the list goes on",
     {"c:\\bin\\gone.exe /x ; old", "c:\\bin\\b.exe"}, "0", Orm::None,
     {{"c:\\bin\\gone.exe /x ", kGone}},
     {{1010, 300, {"c:\\bin\\gone.exe /x ", kGone, "Boot_1", "Workstation_007"}}},
     {"c:\\bin\\b.exe"}},
    // Each start of the wait entry fails, so no ready message ever comes:
    // four starts, three time-outs with a retry, the fourth gives up.
    {"a wait entry that never starts",
     {"c:\\bin\\w.exe /q [wait]"}, "0", Orm::None,
     {{"c:\\bin\\w.exe /q ", kGone}},
     {{1010, 300, {"c:\\bin\\w.exe /q ", kGone, "Boot_1", "Workstation_007"}},
      {31010, 302, {"c:\\bin\\w.exe /q [wait]", "30", "1", "3"}},
      {31020, 300, {"c:\\bin\\w.exe /q ", kGone, "Boot_1", "Workstation_007"}},
      {61020, 302, {"c:\\bin\\w.exe /q [wait]", "30", "2", "3"}},
      {61030, 300, {"c:\\bin\\w.exe /q ", kGone, "Boot_1", "Workstation_007"}},
      {91030, 302, {"c:\\bin\\w.exe /q [wait]", "30", "3", "3"}},
      {91040, 300, {"c:\\bin\\w.exe /q ", kGone, "Boot_1", "Workstation_007"}},
      {121040, 303, {"c:\\bin\\w.exe /q [wait]", "30", "4"}}},
     {}},
    {"ORM closes when asked", {"c:\\bin\\a.exe"}, "2", Orm::Closes, {}, {}, {"c:\\bin\\a.exe"}},
    {"ORM never says it is closing", {"c:\\bin\\a.exe"}, "2", Orm::NeverSaysClosing, {},
     {{11000, 301, {"10", "Workstation_007"}}}, {"c:\\bin\\a.exe"}},
};

TEST_F(LauncherTest, EachRunReportsItsEventsAtTheirMoments) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    DeleteFileA(LaunchFile().c_str());
    List(c.entries);
    Set("CloseRunningORMandWait", c.closeWait);
    ProfileHost host;
    host.configDir = dir_;
    host.startFailures = c.startFailures;
    Launcher launcher(host);
    host.launcher = &launcher;
    if (c.orm != Orm::None) {
      host.onBroadcast = [&](const FakeHost::Message& m) {
        if (m.message == kMsgFindOrm) launcher.OnOrmWindow(kOrm);
      };
      host.onSend = [&](const FakeHost::Message& m) {
        if (m.message == kWmClose && c.orm == Orm::Closes) launcher.OnOrmClosing();
      };
    }
    ASSERT_TRUE(StartUp(launcher));
    host.RunFor(200000);
    EXPECT_EQ(host.quitCode, 0) << "the list ran to its end";

    ASSERT_EQ(host.reported.size(), c.events.size());
    for (std::size_t i = 0; i < c.events.size(); ++i) {
      const FakeHost::Reported& r = host.reported[i];
      const trelm::EventDef* def = Find(r.id);
      ASSERT_NE(def, nullptr) << r.id;
      EXPECT_EQ(r.id, c.events[i].id) << i;
      EXPECT_EQ(r.at, c.events[i].at) << def->name;
      EXPECT_EQ(r.strings, c.events[i].strings) << def->name;
      EXPECT_EQ(r.type, def->type) << def->name;
      EXPECT_EQ(r.strings.size(), def->strings) << def->name;
    }
    std::vector<std::string> started;
    for (const FakeHost::Start& s : host.starts) {
      if (c.startFailures.count(s.commandLine) == 0) started.push_back(s.commandLine);
    }
    EXPECT_EQ(started, c.started);
  }
}

TEST_F(LauncherTest, AWaitAnsweredAfterOneTimeOutReportsThatOneOnly) {
  List({"c:\\bin\\w.exe [wait]", "c:\\bin\\next.exe"});
  int starts = 0;
  host_.onStart = [this, &starts](const FakeHost::Start& s) {
    if (s.commandLine.find("w.exe") != std::string::npos && ++starts == 2) {
      host_.At(s.at + 5000, [this] { launcher_.OnAppReady(); });
    }
  };
  ASSERT_TRUE(Start());
  host_.RunFor(90000);
  EXPECT_THAT(host_.Started(),
              ElementsAre("c:\\bin\\w.exe ", "c:\\bin\\w.exe ", "c:\\bin\\next.exe"));
  ASSERT_EQ(host_.reported.size(), 1u);
  EXPECT_EQ(host_.reported[0].id, kEventAppReadyTimedOut.id);
  EXPECT_EQ(host_.reported[0].strings,
            (std::vector<std::string>{"c:\\bin\\w.exe [wait]", "30", "1", "3"}));
}

TEST_F(LauncherTest, ALaunchListCheckReportsNothing) {
  // The checker's launcher has no event log: its constructor gives none,
  // and a start it records never fails.
  List({"c:\\bin\\gone.exe"});
  host_.startFailures["c:\\bin\\gone.exe"] = kGone;
  Launcher check(host_, host_);
  check.PrepareCheck("LAUNCH.INI", "Workstation_007");
  check.OnTimer(kTimerStep);
  ASSERT_EQ(host_.starts.size(), 1u);
  EXPECT_TRUE(host_.reported.empty());
}

}  // namespace
}  // namespace pellor::testing
