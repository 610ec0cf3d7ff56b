// The launcher's start-up, close question, sequencer and ORM link, with a
// virtual clock and recorded actions, against Wine's real profile files.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "core/launcher.h"
#include "launcher_rig.h"

namespace pellor::testing {
namespace {

using ::testing::ElementsAre;

// ---- start-up -------------------------------------------------------------

TEST_F(LauncherTest, CommandLineScan) {
  struct Case {
    const char* line;
    int number;
    const char* file;
  } cases[] = {
      {"", 0, "LAUNCH.INI"},     {"5", 5, "1000"},           {"1000", 0, "1000"},
      {"7 MYLIST.INI", 7, "MYLIST.INI"}, {"abc", 0, ""},     {"-3", -3, "1000"},
      {"  12   other.ini  extra", 12, "other.ini"},
  };
  for (const Case& c : cases) {
    Launcher launcher(host_);
    launcher.ScanCommandLine(c.line);
    EXPECT_EQ(launcher.State().workstationNumber, c.number) << c.line;
    EXPECT_STREQ(launcher.State().launchFileName, c.file) << c.line;
  }
}

TEST_F(LauncherTest, LongFileNameWordIsCutToTheField) {
  std::string word(200, 'W');
  Launcher launcher(host_);
  launcher.ScanCommandLine(("4 " + word).c_str());
  EXPECT_EQ(launcher.State().workstationNumber, 4);
  EXPECT_EQ(std::string(launcher.State().launchFileName), word.substr(0, kLaunchFileNameSize - 1));
  // A command line beyond 239 characters loses the appended defaults.
  Launcher cut(host_);
  cut.ScanCommandLine(std::string(300, ' ').c_str());
  EXPECT_EQ(cut.State().workstationNumber, 0);
  EXPECT_STREQ(cut.State().launchFileName, "");
}

TEST_F(LauncherTest, SectionNameIsZeroPadded) {
  const std::pair<const char*, const char*> cases[] = {
      {"5 L.INI", "Workstation_005"}, {"1234 L.INI", "Workstation_1234"},
      {"-1 L.INI", "Workstation_-01"}};
  for (const auto& [line, section] : cases) {
    Launcher launcher(host_);
    launcher.ScanCommandLine(line);
    ASSERT_TRUE(launcher.FindWorkstation());
    EXPECT_STREQ(launcher.State().workstationSection, section);
  }
  EXPECT_TRUE(host_.boxes.empty());  // ORM.INI is not needed with a number
}

TEST_F(LauncherTest, WorkstationFromOrmIniOrTheError) {
  WritePrivateProfileStringA("Network", "Workstation", "12", OrmIni().c_str());
  ASSERT_TRUE(Start(""));
  EXPECT_STREQ(launcher_.State().workstationSection, "Workstation_012");
  EXPECT_EQ(std::string(launcher_.State().launchFilePath), dir_ + "\\LAUNCH.INI");
  EXPECT_EQ(std::string(launcher_.State().startDrive), dir_.substr(0, 2));

  const char* const bads[] = {"0", "-1", "abc", nullptr};
  for (const char* bad : bads) {
    WritePrivateProfileStringA("Network", "Workstation", bad, OrmIni().c_str());
    ProfileHost host;
    host.configDir = dir_;
    Launcher launcher(host);
    launcher.ScanCommandLine("");
    EXPECT_FALSE(launcher.FindWorkstation()) << (bad ? bad : "missing");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "The workstation number has not been set in the " + dir_ +
                                      "\\ORM.INI file. Please correct this before running "
                                      "Launch again. ");
    EXPECT_EQ(host.boxes[0].caption, "! Launch Error !");
    EXPECT_EQ(host.boxes[0].flags, kMbIconError | kMbOk);
    EXPECT_EQ(host.boxes[0].owner, 0u);
  }
}

TEST_F(LauncherTest, SettingsAreRepairedInOrder) {
  Set("CloseRunningORMandWait", "25");
  ASSERT_TRUE(Start());
  EXPECT_EQ(Get("DebugMode"), "0");
  EXPECT_EQ(Get("QuitWhenDone"), "0");
  EXPECT_EQ(Get("CloseRunningORMandWait"), "25");  // the file keeps its value
  EXPECT_EQ(launcher_.State().closeWaitSeconds, 10);
  EXPECT_EQ(launcher_.State().debugMode, 0);
  EXPECT_FALSE(host_.debugOpened);
  EXPECT_TRUE(host_.log.empty());  // with DebugMode 0 nothing is recorded
}

TEST_F(LauncherTest, StoredMinusOneAndTextSettings) {
  Set("DebugMode", "-1");
  Set("QuitWhenDone", "yes");
  Set("CloseRunningORMandWait", "-4");
  ASSERT_TRUE(Start());
  EXPECT_EQ(Get("DebugMode"), "0");       // -1 counts as missing
  EXPECT_EQ(Get("QuitWhenDone"), "yes");  // not a number: 0, and not rewritten
  EXPECT_EQ(launcher_.State().quitWhenDone, 0);
  EXPECT_EQ(launcher_.State().closeWaitSeconds, -4);
  Launcher fresh(host_);
  DeleteFileA(LaunchFile().c_str());
  ASSERT_TRUE(StartUp(fresh));
  EXPECT_EQ(Get("CloseRunningORMandWait"), "1");
  EXPECT_EQ(fresh.State().closeWaitSeconds, 1);
}

TEST_F(LauncherTest, DebugModeOpensTheWindowFirst) {
  Set("DebugMode", "2");
  ASSERT_TRUE(Start());
  EXPECT_TRUE(host_.debugOpened);
  EXPECT_THAT(host_.Lines(), ElementsAre("Pellor running...", "Checking for existing instance of ORM",
                                         "ORM not found"));
}

// ---- close question ---------------------------------------------------------

TEST_F(LauncherTest, CloseQuestionAnswers) {
  for (int answer : {kIdYes, kIdNo, kIdCancel}) {
    ProfileHost host;
    host.configDir = dir_;
    Launcher launcher(host);
    host.launcher = &launcher;
    ASSERT_TRUE(StartUp(launcher));
    host.answers.push_back(answer);
    launcher.OnAskClosedown();
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Closedown Windows as well?");
    EXPECT_EQ(host.boxes[0].caption, "Trelm Launch V3.04.06");
    EXPECT_EQ(host.boxes[0].flags, kMbYesNoCancel | kMbIconQuestion | kMbDefButton2);
    EXPECT_EQ(host.boxes[0].owner, kMain);
    EXPECT_EQ(host.mainDestroyed, answer != kIdCancel);
    EXPECT_EQ(host.quitCode, answer != kIdCancel ? 0 : -1);
    EXPECT_EQ(host.logoffs, answer == kIdYes ? 1 : 0);
    if (answer == kIdYes) {
      EXPECT_EQ(host.logoffFlags, 0u);
      EXPECT_EQ(host.logoffReason, 0xFFFFFFFFu);
    }
  }
}

TEST_F(LauncherTest, QuitWhenDoneIgnoresEveryAnswer) {
  Set("QuitWhenDone", "1");
  ASSERT_TRUE(Start());
  for (int answer : {kIdYes, kIdNo, kIdCancel}) {
    host_.answers.push_back(answer);
    launcher_.OnAskClosedown();
  }
  EXPECT_EQ(host_.boxes.size(), 3u);  // still asked
  EXPECT_FALSE(host_.mainDestroyed);
  EXPECT_EQ(host_.logoffs, 0);
}

TEST_F(LauncherTest, ClosingTheIconSendsTheLeavingNoticeThenAsks) {
  Set("QuitWhenDone", "0");
  ASSERT_TRUE(Start());
  launcher_.OnOrmWindow(kOrm);  // announced after start-up
  host_.answers.push_back(kIdNo);
  launcher_.OnClose();
  ASSERT_EQ(host_.sent.size(), 1u);
  EXPECT_EQ(host_.sent[0].window, kOrm);
  EXPECT_EQ(host_.sent[0].message, kMsgOrmClientLeaving);
  EXPECT_EQ(host_.sent[0].wParam, kMain & 0xFFFF);
  EXPECT_EQ(host_.sent[0].lParam, 2);
  EXPECT_TRUE(host_.boxes.empty());  // the question is posted, not asked at once
  host_.RunFor(0);
  ASSERT_EQ(host_.boxes.size(), 1u);
  // No: Shutdown, whose first step is the leaving notice again.
  ASSERT_EQ(host_.sent.size(), 2u);
  EXPECT_EQ(host_.sent[1].message, kMsgOrmClientLeaving);
  EXPECT_EQ(host_.quitCode, 0);
  // A second answer after the end does not end the launcher twice.
  host_.answers.push_back(kIdNo);
  launcher_.OnAskClosedown();
  EXPECT_EQ(host_.sent.size(), 2u);
}

// ---- sequencer --------------------------------------------------------------

TEST_F(LauncherTest, CommandEntriesAreSpacedOneSecond) {
  List({"c:\\bin\\a.exe", "c:\\bin\\b.exe /x", "c:\\bin\\c.exe ; comment"});
  ASSERT_TRUE(Start());
  host_.RunFor(60000);
  ASSERT_EQ(host_.starts.size(), 3u);
  EXPECT_EQ(host_.starts[0].at, 1010u);  // 10 ms after the start timer
  EXPECT_EQ(host_.starts[1].at, 2010u);
  EXPECT_EQ(host_.starts[2].at, 3010u);
  EXPECT_EQ(host_.starts[2].commandLine, "c:\\bin\\c.exe ");
  EXPECT_EQ(host_.starts[0].showState, kSwShowNormal);
  EXPECT_EQ(host_.arranged, 1);
  EXPECT_EQ(host_.quitCode, 0);  // QuitWhenDone: ended without a question
  EXPECT_TRUE(host_.boxes.empty());
  EXPECT_TRUE(host_.debugDestroyed);
  EXPECT_EQ(Get("Boot_4"), "<absent>");  // no template after Boot_1
  EXPECT_THAT(host_.Lines(),
              ElementsAre("Pellor running...", "Checking for existing instance of ORM",
                          "ORM not found", "Starting workstation launch sequence",
                          "Boot_1=c:\\bin\\a.exe", "Boot_2=c:\\bin\\b.exe /x",
                          "Boot_3=c:\\bin\\c.exe "));
}

TEST_F(LauncherTest, WaitEntryAnsweredAfterFiveSeconds) {
  List({"c:\\bin\\w.exe /x [wait]", "c:\\bin\\next.exe"});
  // The first start never reports: the wait times out once, and the retry
  // count it leaves is cleared by the second start's report.
  int starts = 0;
  host_.onStart = [this, &starts](const FakeHost::Start& s) {
    if (s.commandLine.find("w.exe") != std::string::npos && ++starts == 2) {
      host_.At(s.at + 5000, [this] { launcher_.OnAppReady(); });
    }
  };
  ASSERT_TRUE(Start());
  host_.RunFor(90000);
  EXPECT_THAT(host_.Started(),
              ElementsAre("c:\\bin\\w.exe /x ", "c:\\bin\\w.exe /x ", "c:\\bin\\next.exe"));
  EXPECT_EQ(host_.starts[2].at, host_.starts[1].at + 6000);
  EXPECT_EQ(launcher_.State().retryCount, 0);
  EXPECT_STREQ(launcher_.State().lastWaitEntry, "c:\\bin\\w.exe /x [wait]");
}

TEST_F(LauncherTest, WaitEntryNeverAnsweredRetriesThreeTimesThenEnds) {
  List({"c:\\bin\\never.exe [wait] ; silent", "c:\\bin\\after.exe"}, false);
  ASSERT_TRUE(Start());
  host_.RunFor(200000);
  EXPECT_THAT(host_.Started(), ElementsAre("c:\\bin\\never.exe ", "c:\\bin\\never.exe ",
                                           "c:\\bin\\never.exe ", "c:\\bin\\never.exe "));
  EXPECT_EQ(host_.starts[1].at, host_.starts[0].at + 30010);
  EXPECT_EQ(host_.starts[3].at, host_.starts[0].at + 3 * 30010);
  std::vector<std::string> retries;
  for (const std::string& line : host_.Lines()) {
    if (line.rfind("APPREADY", 0) == 0) retries.push_back(line);
  }
  EXPECT_THAT(retries, ElementsAre("APPREADY wait has timed out, retry attempt 1",
                                   "APPREADY wait has timed out, retry attempt 2",
                                   "APPREADY wait has timed out, retry attempt 3"));
  ASSERT_EQ(host_.boxes.size(), 1u);
  EXPECT_EQ(host_.boxes[0].text, "c:\\bin\\never.exe [wait]  has repeatedly failed to start");
  EXPECT_EQ(host_.boxes[0].caption, "Launch Error");
  EXPECT_EQ(host_.boxes[0].flags, kMbOk);
  EXPECT_EQ(host_.boxes[0].owner, kMain);
  EXPECT_EQ(host_.quitCode, 0);  // Shutdown, even without QuitWhenDone
  EXPECT_EQ(host_.now, host_.starts[0].at + 4 * 30000 + 3 * 10);
}

TEST_F(LauncherTest, RetryReadsTheEntryAgainFromTheFile) {
  List({"c:\\bin\\first.exe [wait]"});
  host_.onStart = [this](const FakeHost::Start& s) {
    if (s.commandLine.find("first") != std::string::npos) {
      Set("Boot_1", "c:\\bin\\second.exe [wait]");
    } else {
      host_.At(s.at + 100, [this] { launcher_.OnAppReady(); });
    }
  };
  ASSERT_TRUE(Start());
  host_.RunFor(100000);
  EXPECT_THAT(host_.Started(), ElementsAre("c:\\bin\\first.exe ", "c:\\bin\\second.exe "));
  EXPECT_EQ(host_.quitCode, 0);
}

TEST_F(LauncherTest, AppReadyDuringAPauseCutsItToOneSecond) {
  List({"<pause> 20", "c:\\bin\\after.exe"});
  ASSERT_TRUE(Start());
  host_.At(5000, [this] { launcher_.OnAppReady(); });
  host_.RunFor(60000);
  ASSERT_EQ(host_.starts.size(), 1u);
  EXPECT_EQ(host_.starts[0].at, 6000u);
  EXPECT_EQ(host_.Lines()[4], "Boot_1=" + dir_.substr(0, 2) + "<pause> 20");
  EXPECT_EQ(host_.Lines()[5], "Delay = 20");
}

TEST_F(LauncherTest, AppReadyInDoneGoesOnAfterAGap) {
  List({"c:\\bin\\one.exe", "", "c:\\bin\\three.exe"}, false);
  ASSERT_TRUE(Start());
  host_.RunFor(10000);
  EXPECT_THAT(host_.Started(), ElementsAre("c:\\bin\\one.exe"));  // Boot_3 is not read
  EXPECT_EQ(host_.arranged, 1);
  EXPECT_EQ(host_.quitCode, -1);  // Done: the launcher stays
  launcher_.OnAppReady();
  host_.RunFor(10000);
  EXPECT_THAT(host_.Started(), ElementsAre("c:\\bin\\one.exe", "c:\\bin\\three.exe"));
  EXPECT_EQ(host_.arranged, 2);
}

TEST_F(LauncherTest, PauseEntriesWithAndWithoutANumber) {
  List({"<PAUSE> 3", "<pause>", "<pause> -2", "c:\\bin\\x.exe"});
  ASSERT_TRUE(Start());
  host_.RunFor(60000);
  ASSERT_EQ(host_.starts.size(), 1u);
  // 10 ms, 3 s, then 0 ms twice (raised to 10 ms each).
  EXPECT_EQ(host_.starts[0].at, 1000u + 10 + 3000 + 10 + 10);
}

TEST_F(LauncherTest, DirectoryModeDropsTheDrivePrefix) {
  const std::string drive = dir_.substr(0, 2);
  List({"\\trelm\\a.exe", "app.exe", "D:\\tools\\b.exe", "<directory> d:\\work",
        "app.exe", "D:\\tools\\b.exe", "x"});
  ASSERT_TRUE(Start());
  host_.RunFor(60000);
  EXPECT_THAT(host_.Started(),
              ElementsAre(drive + "\\trelm\\a.exe", drive + "app.exe", drive + "D:\\tools\\b.exe",
                          "app.exe", "D:\\tools\\b.exe", "x"));
  EXPECT_THAT(host_.directories, ElementsAre("d:\\work"));
  EXPECT_TRUE(launcher_.State().directoryMode);
}

TEST_F(LauncherTest, OneCharacterEntryEndsTheListBeforeADirectoryEntry) {
  List({"c:\\bin\\a.exe", "x", "c:\\bin\\never.exe"});
  ASSERT_TRUE(Start());
  host_.RunFor(60000);
  EXPECT_THAT(host_.Started(), ElementsAre("c:\\bin\\a.exe"));
  EXPECT_EQ(host_.quitCode, 0);
}

TEST_F(LauncherTest, DirectoryWithTwoBlanksIsEmptyButStartsDirectoryMode) {
  List({"<directory>  d:\\work", "app.exe"});
  ASSERT_TRUE(Start());
  host_.RunFor(60000);
  EXPECT_THAT(host_.directories, ElementsAre(""));
  EXPECT_THAT(host_.Started(), ElementsAre("app.exe"));
}

TEST_F(LauncherTest, EntriesAreReadFromTheCurrentConfigurationDirectory) {
  List({"c:\\bin\\a.exe", "c:\\bin\\b.exe"});
  host_.onStart = [this](const FakeHost::Start& s) {
    if (s.commandLine == "c:\\bin\\a.exe") Set("Boot_2", "c:\\bin\\edited.exe");
  };
  ASSERT_TRUE(Start());
  host_.RunFor(60000);
  EXPECT_THAT(host_.Started(), ElementsAre("c:\\bin\\a.exe", "c:\\bin\\edited.exe"));
}

TEST_F(LauncherTest, ConfigurationMovedToAnotherDriveGetsTheStartDrive) {
  List({"c:\\bin\\a.exe", "c:\\bin\\b.exe"});
  host_.onStart = [this](const FakeHost::Start&) { host_.configDir = "Q:" + dir_.substr(2); };
  ASSERT_TRUE(Start());
  host_.RunFor(60000);
  // "C:Q:\..." names no file: the list ends after the first entry.
  EXPECT_THAT(host_.Started(), ElementsAre("c:\\bin\\a.exe"));
}

TEST_F(LauncherTest, NewSectionGetsTheTemplate) {
  ASSERT_TRUE(Start());
  host_.RunFor(5000);
  for (int n = 1; n <= 10; ++n) {
    EXPECT_EQ(Get(("Boot_" + std::to_string(n)).c_str()), "") << n;
  }
  EXPECT_EQ(Get("Boot_11"), "<absent>");
  EXPECT_TRUE(host_.starts.empty());
  EXPECT_EQ(host_.arranged, 1);
}

TEST_F(LauncherTest, TemplateNeverWipesExistingEntries) {
  Set("Boot_1", "x");
  Set("Boot_3", "c:\\keep\\this.exe");
  Set("Boot_10", "<pause> 2");
  ASSERT_TRUE(Start());
  host_.RunFor(5000);
  EXPECT_EQ(Get("Boot_1"), "x");
  EXPECT_EQ(Get("Boot_2"), "");
  EXPECT_EQ(Get("Boot_3"), "c:\\keep\\this.exe");
  EXPECT_EQ(Get("Boot_9"), "");
  EXPECT_EQ(Get("Boot_10"), "<pause> 2");
}

// ---- ORM --------------------------------------------------------------------

TEST_F(LauncherTest, OrmEntrySkippedOnlyWhileOrmAtStart) {
  List({"c:\\trelm\\bin\\orm.exe [wait]", "c:\\trelm\\bin\\ORM.EXE /second"});
  OrmRunning();
  ASSERT_TRUE(Start());
  EXPECT_TRUE(launcher_.State().ormAtStart);
  host_.RunFor(60000);
  EXPECT_THAT(host_.Started(), ElementsAre("c:\\trelm\\bin\\ORM.EXE /second"));
  EXPECT_EQ(host_.starts[0].at, 1020u);  // the skip arms the next step after 10 ms
  EXPECT_EQ(host_.Lines()[5], "ORM is already running - not executing Boot_1");
  EXPECT_FALSE(launcher_.State().ormAtStart);
  // Without a close handshake the ORM found keeps getting the leaving notice.
  ASSERT_FALSE(host_.sent.empty());
  EXPECT_EQ(host_.sent.back().message, kMsgOrmClientLeaving);
}

TEST_F(LauncherTest, CloseHandshakeThenCountdown) {
  List({"c:\\trelm\\bin\\orm.exe"});
  Set("CloseRunningORMandWait", "3");
  OrmRunning();
  ASSERT_TRUE(Start());
  host_.RunFor(60000);
  EXPECT_THAT(host_.Lines(),
              ElementsAre("Pellor running...", "Checking for existing instance of ORM",
                          "ORM is running", "Registering for client messages from ORM",
                          "Sending close message to ORM", "ORM is closing",
                          "Starting launch sequence in 3 seconds", "Boot_1=c:\\trelm\\bin\\orm.exe"));
  ASSERT_EQ(host_.broadcasts.size(), 1u);  // answered the first query
  EXPECT_EQ(host_.broadcasts[0].wParam, kMain);
  ASSERT_GE(host_.sent.size(), 2u);
  EXPECT_EQ(host_.sent[0].message, kMsgOrmRegisterClient);
  EXPECT_EQ(host_.sent[0].wParam, kMain & 0xFFFF);
  EXPECT_EQ(host_.sent[0].lParam, 4);
  EXPECT_EQ(host_.sent[1].message, kWmClose);
  EXPECT_EQ(host_.sent.size(), 2u);  // ormWindow is forgotten: no leaving notice
  // The fresh ORM is started: the entry is not skipped after a handshake.
  ASSERT_EQ(host_.starts.size(), 1u);
  EXPECT_EQ(host_.starts[0].at, 1000u + 3000);
}

TEST_F(LauncherTest, OrmThatNeverReportsClosingStartsTheListAfterTenSeconds) {
  List({"c:\\bin\\a.exe"});
  Set("CloseRunningORMandWait", "1");
  OrmRunning(kMsgFindOrm, false);
  ASSERT_TRUE(Start());
  host_.RunFor(60000);
  ASSERT_EQ(host_.starts.size(), 1u);
  EXPECT_EQ(host_.starts[0].at, 11000u);
}

TEST_F(LauncherTest, OrmAnsweringOnlyTheSecondQueryIsFound) {
  List({"c:\\bin\\a.exe"});
  OrmRunning(kMsgFindOrmAlt);
  ASSERT_TRUE(Start());
  EXPECT_TRUE(launcher_.State().ormAtStart);
  ASSERT_EQ(host_.broadcasts.size(), 2u);
  EXPECT_EQ(host_.broadcasts[0].message, kMsgFindOrm);
  EXPECT_EQ(host_.broadcasts[1].message, kMsgFindOrmAlt);
  EXPECT_EQ(host_.broadcasts[1].wParam, kMain);
  EXPECT_EQ(host_.Lines().back(), "ORM is running");
}

TEST_F(LauncherTest, StrayOrmClosingInDoneReadsTheNextEntry) {
  List({"c:\\bin\\a.exe", "", "c:\\bin\\c.exe"}, false);
  Set("CloseRunningORMandWait", "2");
  ASSERT_TRUE(Start());
  host_.RunFor(10000);
  launcher_.OnOrmClosing();
  host_.RunFor(10000);
  EXPECT_THAT(host_.Started(), ElementsAre("c:\\bin\\a.exe", "c:\\bin\\c.exe"));
  EXPECT_EQ(host_.starts[1].at, 12000u);
}

}  // namespace
}  // namespace pellor::testing
