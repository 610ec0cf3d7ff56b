// The capture tool's shell logic on a virtual clock with files and
// profiles in memory: the log-line operation and its hourly files, the
// error log, settings repair, start-up, toggles, pause and shutdown.
#include "app/varnet.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "fake_capture_host.h"
#include "fake_net.h"

namespace varnet {
namespace {

constexpr const char* kIni = "c:\\cfg\\VARNET.INI";
constexpr const char* kOrmIni = "c:\\cfg\\ORM.INI";
constexpr const char* kLog07 = "c:\\logs\\LOG_20091001.07";
constexpr const char* kLog08 = "c:\\logs\\LOG_20091001.08";

class VarnetTest : public ::testing::Test {
 protected:
  VarnetTest() {
    host.Set(kIni, "Paths", "LogFilePath", "c:\\logs");
  }
  void Start() {
    app.OnWindowCreated();
    ASSERT_TRUE(app.Startup());
  }
  std::vector<std::string> Texts(const char* path) { return host.LogTexts(path); }

  FakeCaptureHost host;
  FakeNet net;
  Varnet app{host, net};
};

TEST_F(VarnetTest, StartUpWritesItsLinesInOrderAndStartsTheTimers) {
  host.Set(kIni, "Network", "SavePackets", "1");
  host.Set(kIni, "Network", "Channel", "7");
  Start();
  const std::vector<std::string> expected = {
      "Capture Log opened...'c:\\logs\\LOG_20091001.07'",
      "Packet data file opened...'c:\\logs\\PKT_20091001.07'",
      "Configuration Path:",
      kIni,
      "Varnet started...",
      "    - Logging 'UR' headers -",
      "    - Logging 'N' series messages -",
      "    - Logging Packet Serial Numbers -",
      "    - Not logging Heartbeats -",
  };
  EXPECT_EQ(Texts(kLog07), expected);
  EXPECT_EQ(host.Lines(kLog07)[0].substr(0, 14), "07:15:02-48 - ");
  EXPECT_EQ(host.screen.size(), 99u + expected.size());  // the blank lines first
  EXPECT_EQ(host.titles.front(), "Trelm Tessik Log - V3.09.00 - Channel 7 - c:\\logs\\LOG_20091001.07");
  EXPECT_EQ(host.titles.back(), "Trelm Tessik Log - V3.09.00 - Channel 7");
  EXPECT_EQ(host.timers, (std::set<unsigned>{1, 2}));
  EXPECT_TRUE(host.checks[1014] && host.checks[1012] && host.checks[1013]);
  EXPECT_FALSE(host.checks[1015]);
  EXPECT_EQ(host.opens[1], std::make_pair(std::string("c:\\logs\\PKT_20091001.07"), std::string("a+b")));
  EXPECT_EQ(host.events[1], "LoadControlLibrary c:\\sys\\TRELM_CC.DLL");
  EXPECT_EQ(host.madeDirectories, std::vector<std::string>{"c:\\logs"});
}

TEST_F(VarnetTest, AMissingControlLibraryEndsStartUpWithItsMessage) {
  host.libraryLoads = false;
  app.OnWindowCreated();
  EXPECT_FALSE(app.Startup());
  EXPECT_EQ(host.errors, std::vector<std::string>{
                             "Unable to load TRELM_CC.DLL. Please check that this file exists in "
                             "the c:\\sys directory"});
  EXPECT_EQ(host.quits, 1);
  EXPECT_TRUE(host.timers.empty());
  EXPECT_EQ(Texts(kLog07).back(), kIni);  // the configuration lines are in the log
}

TEST_F(VarnetTest, TheHourChangeOpensTheNextHoursFiles) {
  Start();
  host.now = LocalTime{2009, 10, 1, 7, 59, 59, 990};
  app.WriteLogLine("last of seven");
  host.now = LocalTime{2009, 10, 1, 8, 0, 0, 10};
  for (int i = 0; i < 12; ++i) app.CountReceive();
  app.WriteLogLine("first of eight");
  EXPECT_EQ(host.Lines(kLog07).back(), "07:59:59-99 - last of seven");
  EXPECT_EQ(host.Lines(kLog08), (std::vector<std::string>{
                                    "08:00:00-01 - Capture Log opened...'c:\\logs\\LOG_20091001.08'",
                                    "08:00:00-01 - first of eight"}));
  EXPECT_EQ(host.titles.back(), "Trelm Tessik Log - V3.09.00 - Channel 0 - c:\\logs\\LOG_20091001.08");
  EXPECT_EQ(app.ReceiveCounter(), 0u);
  EXPECT_EQ(host.openStreams, 1);
}

TEST_F(VarnetTest, IdleTicksCloseTheFilesAndTheNextLineReopensSilently) {
  host.Set(kIni, "Network", "SavePackets", "1");
  Start();
  const std::size_t titles = host.titles.size();
  for (int tick = 0; tick < 6; ++tick) {
    for (int i = 0; i < 3; ++i) app.CountReceive();
    host.Advance(1000);
    app.OnTimer(kTimerIdle);
    EXPECT_EQ(app.ReceiveCounter(), 0u);  // cleared every tick
    EXPECT_EQ(app.Log().LogOpen(), tick < 4) << tick;
  }
  EXPECT_EQ(host.openStreams, 0);
  app.WriteLogLine("after the pause");
  EXPECT_EQ(host.openStreams, 2);
  EXPECT_EQ(Texts(kLog07).back(), "after the pause");
  EXPECT_EQ(Texts(kLog07).size(), 10u);  // no second "opened" line
  EXPECT_EQ(host.titles.size(), titles);
  // Other timers do nothing here.
  app.OnTimer(9);
  EXPECT_EQ(app.Log().IdleCounter(), 0);
}

TEST_F(VarnetTest, TheNLineRuleAndLineEnds) {
  Start();
  struct Case {
    const char* text;
    int showNx;
    const char* written;  // nullptr: dropped
  } cases[] = {
      {"NA something", 1, nullptr},
      {"NA something", 0, nullptr},
      {"NS 12 serial", 1, "NS 12 serial"},
      {"NS 12 serial", 0, nullptr},
      {"Net up", 0, "Net up"},
      {"N", 0, "N"},
      {"N ", 0, "N "},
      {"NSX", 0, "NSX"},
      {"one\ntwo\nthree", 1, "one two\nthree"},
      {"a\rb\nc\rd", 1, "a b c\rd"},
  };
  for (const Case& c : cases) {
    // The Show menu's item sets the flag, as the user would.
    if (app.Config().showNxMessages != c.showNx) app.OnCommand(kCmdShowNx);
    const std::string before = host.files[kLog07];
    app.WriteLogLine(c.text);
    const std::string added = host.files[kLog07].substr(before.size());
    if (c.written == nullptr) {
      EXPECT_EQ(added, "") << c.text;
    } else {
      EXPECT_EQ(added, std::string("07:15:02-48 - ") + c.written + "\n") << c.text;
    }
  }
}

TEST_F(VarnetTest, LongTextsAreCutNeverOverrun) {
  Start();
  app.WriteLogLine(std::string(2000, 'x').c_str());
  EXPECT_EQ(host.Lines(kLog07).back().size(), 767u);  // the 768-byte line buffer
  EXPECT_EQ(host.screen.back().size(), 300u);
  app.WriteErrorLog(std::string(2000, 'e').c_str());
  EXPECT_EQ(host.Lines("c:\\logs\\ERRORLOG.TXT").back().size(), 767u);
}

TEST_F(VarnetTest, APausedDisplayStillLogsAndErrorsStillShow) {
  Start();
  app.OnChar(' ');
  EXPECT_EQ(host.titles.back(), "Trelm Tessik Log - V3.09.00 - Channel 0 - ! Screen Paused !");
  EXPECT_FALSE(app.DisplayLive());
  const std::size_t shown = host.screen.size();
  app.WriteLogLine("while paused");
  EXPECT_EQ(Texts(kLog07).back(), "while paused");
  EXPECT_EQ(host.screen.size(), shown);
  host.now = LocalTime{2009, 10, 1, 19, 22, 43, 0};
  app.WriteErrorLog("Bad device 1234");
  EXPECT_EQ(host.Lines("c:\\logs\\ERRORLOG.TXT"),
            std::vector<std::string>{"01/10/2009 19:22:43 - Bad device 1234"});
  EXPECT_EQ(std::vector<std::string>(host.screen.end() - 3, host.screen.end()),
            (std::vector<std::string>{"------------------ ! Error ! -------------------",
                                      "01/10/2009 19:22:43 - Bad device 1234",
                                      "------------------------------------------------"}));
  // The error entry is not in the capture log; the hour change on the way is.
  EXPECT_EQ(Texts("c:\\logs\\LOG_20091001.19").size(), 0u);
  // A paused hour change does not change the title.
  app.WriteLogLine("at seven pm");
  EXPECT_EQ(host.titles.back(), "Trelm Tessik Log - V3.09.00 - Channel 0 - ! Screen Paused !");
  // Resumed by the mouse: the title names the hour without "LOG_".
  app.OnLeftButton();
  EXPECT_EQ(host.titles.back(), "Trelm Tessik Log - V3.09.00 - Channel 0 - c:\\logs\\20091001.19");
  app.OnChar(' ');
  app.OnChar(' ');
  EXPECT_EQ(host.titles.back(), "Trelm Tessik Log - V3.09.00 - Channel 0");
  EXPECT_TRUE(app.DisplayLive());
  // Other characters are the replay's, not the pause's.
  app.OnChar('\r');
  EXPECT_TRUE(app.DisplayLive());
}

TEST_F(VarnetTest, FileFailuresAreReportedOnceAndCloseTheProgram) {
  host.unopenable.insert(kLog07);
  app.OnWindowCreated();
  EXPECT_FALSE(app.Startup());
  EXPECT_EQ(host.errors, std::vector<std::string>{"Unable to open log file"});
  EXPECT_EQ(host.quits, 1);
  EXPECT_TRUE(host.timers.empty());
  app.WriteLogLine("dropped");
  app.CloseProgram();
  EXPECT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(host.quits, 1);

  FakeCaptureHost other;
  other.Set(kIni, "Paths", "LogFilePath", "c:\\logs");
  other.Set(kIni, "Network", "SavePackets", "1");
  other.unopenable.insert("c:\\logs\\PKT_20091001.07");
  other.unopenable.insert("c:\\logs\\ERRORLOG.TXT");
  FakeNet otherNet;
  Varnet second(other, otherNet);
  second.Startup();
  EXPECT_EQ(other.errors, std::vector<std::string>{"Unable to open packet data file"});
  // The lines of the close, then the line being written when the failure
  // closed the program.
  EXPECT_EQ(other.Lines(kLog07)[1].substr(14), "Run totals: 0 datagrams received, 0 recorded");
  EXPECT_EQ(other.Lines(kLog07)[2].substr(14), "Log Closed");
  EXPECT_EQ(other.Lines(kLog07)[3].substr(14), "Configuration Path:");
  const std::size_t shown = other.screen.size();
  second.WriteErrorLog("lost");
  EXPECT_EQ(other.errors.back(), "Unable to open error log file");
  EXPECT_EQ(other.screen.size(), shown);
}

TEST_F(VarnetTest, SavePacketsOffNeverOpensAPacketFile) {
  Start();
  for (int i = 0; i < 8; ++i) {
    host.Advance(1000);
    app.OnTimer(kTimerIdle);
  }
  host.Advance(3600 * 1000);
  app.WriteLogLine("next hour");
  for (const auto& [path, mode] : host.opens) EXPECT_EQ(path.find("PKT_"), std::string::npos);
  EXPECT_EQ(app.Log().PacketStream(), nullptr);
}

TEST_F(VarnetTest, AFirstRunWritesACompleteSettingsFile) {
  FakeCaptureHost fresh;
  FakeNet freshNet;
  Varnet first(fresh, freshNet);
  first.Startup();
  const char* expected[][3] = {
      {"Network", "Channel", "0"},         {"Network", "ShowURheader", "1"},
      {"Network", "ShowNxMessages", "1"},  {"Network", "ShowPacketSerial", "1"},
      {"Network", "ShowHeartbeats", "0"},  {"Network", "SavePackets", "0"},
      {"Network", "CommandReplayEnabled", "0"}, {"Network", "RevertiveReplayEnabled", "0"},
      {"Watchdog", "InfoDriver", "0"},     {"Watchdog", "InfoSlot", "0"},
      {"Paths", "LogFilePath", "c:\\trelmlogs"}, {"Commands", "Device_001", "1"},
      {"Commands", "Device_999", "1"},     {"Revertives", "Device_500", "1"},
  };
  for (const auto& e : expected) EXPECT_EQ(fresh.Get(kIni, e[0], e[1]), e[2]) << e[1];
  EXPECT_EQ(fresh.Get(kOrmIni, "Network", "DefaultAdaptor"), "0");
  EXPECT_EQ(fresh.Get(kIni, "Commands", "Device_000"), "<absent>");
  EXPECT_EQ(fresh.Get(kIni, "Commands", "Device_1000"), "<absent>");
  EXPECT_EQ(fresh.profileWrites, 1 + 11 + 1998);
  EXPECT_EQ(fresh.Lines("c:\\trelmlogs\\LOG_20091001.07").size(), 8u);
}

TEST_F(VarnetTest, SettingsRepairAndConversion) {
  struct Case {
    const char* section;
    const char* key;
    const char* stored;
    const char* after;  // in the file after LoadSettings
  } cases[] = {
      {"Network", "ShowHeartbeats", "-3", "0"},
      {"Network", "ShowHeartbeats", "abc", "abc"},
      {"Network", "ShowURheader", "5", "5"},
      {"Network", "Channel", "0", "0"},
      {"Network", "Channel", "-2", "0"},
      {"Network", "Channel", " +12xyz", " +12xyz"},
      {"Network", "SavePackets", "0", "0"},
      {"Network", "SavePackets", "2", "2"},
      {"Watchdog", "InfoSlot", "-9", "0"},
      {"Paths", "LogFilePath", "none", "none"},
      {"Paths", "LogFilePath", "NONE", "c:\\trelmlogs"},
  };
  for (const Case& c : cases) {
    FakeCaptureHost h;
    h.Set(kIni, c.section, c.key, c.stored);
    Settings s;
    DeviceFilters f;
    char fault[400] = "";
    EXPECT_TRUE(ReadSettings(h, h, h, s, f, fault, sizeof fault));
    EXPECT_EQ(h.Get(kIni, c.section, c.key), c.after) << c.key << "=" << c.stored;
  }
  FakeCaptureHost h;
  h.Set(kIni, "Network", "ShowHeartbeats", "abc");
  h.Set(kIni, "Network", "ShowURheader", "5");
  h.Set(kIni, "Network", "Channel", " +12xyz");
  h.Set(kIni, "Network", "SavePackets", "0");
  h.Set(kIni, "Paths", "LogFilePath", "none");
  h.Set(kOrmIni, "Network", "DefaultAdaptor", "3");
  Settings s;
  DeviceFilters f;
  char fault[400] = "";
  ASSERT_TRUE(ReadSettings(h, h, h, s, f, fault, sizeof fault));
  EXPECT_EQ(s.showHeartbeats, 0);
  EXPECT_EQ(s.showURheader, 5);
  EXPECT_EQ(s.channel, 12);
  EXPECT_STREQ(s.logFilePath, "none");
  EXPECT_EQ(s.defaultAdaptor, 3);
  EXPECT_EQ(h.Get(kOrmIni, "Network", "DefaultAdaptor"), "3");  // positive: not rewritten
}

TEST_F(VarnetTest, LongPathsAreReadWholeOrRefusedWithAMessage) {
  // Each case: the configuration directory and the log directory; whether
  // the tool starts, and the start of the box's text when it does not.
  struct Case {
    std::string configDir;
    std::string logDir;
    bool starts;
    std::string box;
  };
  const std::string deep = "c:\\" + std::string(200, 'd');  // 203 characters
  const Case cases[] = {
      {deep, "c:\\logs", true, ""},
      {"c:\\" + std::string(245, 'c'), "c:\\logs", true, ""},  // VARNET.INI ends at 259
      {"c:\\" + std::string(246, 'c'), "c:\\logs", false, "The configuration path is longer than 259"},
      {"c:\\" + std::string(600, 'c'), "c:\\logs", false, "The configuration path is longer than 259"},
      {"c:\\cfg", "c:\\" + std::string(240, 'l'), true, ""},  // LOG_ names end at 259
      {"c:\\cfg", "c:\\" + std::string(241, 'l'), false, "LogFilePath in c:\\cfg\\VARNET.INI is longer than 243"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.configDir.size()) + " " + std::to_string(c.logDir.size()));
    FakeCaptureHost h;
    h.configDir = c.configDir;
    const std::string ini = c.configDir + "\\VARNET.INI";
    h.Set(ini.c_str(), "Paths", "LogFilePath", c.logDir.c_str());
    h.Set(ini.c_str(), "Network", "Channel", "7");
    FakeNet n;
    Varnet v(h, n);
    EXPECT_EQ(v.Startup(), c.starts);
    if (c.starts) {
      // The settings of that VARNET.INI, and the log in that directory.
      EXPECT_EQ(v.Config().channel, 7);
      EXPECT_EQ(v.Config().varnetIni, ini);
      EXPECT_EQ(h.Lines(c.logDir + "\\LOG_20091001.07").size(), 8u);
      EXPECT_TRUE(h.errors.empty()) << h.errors[0];
    } else {
      ASSERT_EQ(h.errors.size(), 1u);
      EXPECT_EQ(h.errors[0].rfind(c.box, 0), 0u) << h.errors[0];
      EXPECT_EQ(h.quits, 1);
      EXPECT_TRUE(h.opens.empty());  // no file of another name is touched
      // Nothing is read from or repaired in a profile of a cut name.
      if (c.box.rfind("The configuration", 0) == 0) {
        EXPECT_EQ(h.profileWrites, 0);
      }
    }
  }
}

TEST_F(VarnetTest, ShowTogglesFlipCheckLogAndWriteBack) {
  host.Set(kIni, "Network", "ShowHeartbeats", "5");
  Start();
  EXPECT_TRUE(host.checks[1015]);
  app.OnCommand(1015);
  EXPECT_FALSE(host.checks[1015]);
  EXPECT_EQ(Texts(kLog07).back(), "    - Not logging Heartbeats -");
  EXPECT_EQ(host.Get(kIni, "Network", "ShowHeartbeats"), "0");
  app.OnCommand(1013);
  EXPECT_EQ(Texts(kLog07).back(), "    - Not logging packet serial numbers -");
  app.OnCommand(1013);
  EXPECT_EQ(Texts(kLog07).back(), "    - Logging Packet Serial Numbers -");
  EXPECT_EQ(host.Get(kIni, "Network", "ShowPacketSerial"), "1");
  // A command that carries a notification code in its upper half is no command.
  const std::size_t lines = Texts(kLog07).size();
  app.OnCommand((1u << 16) | 1014);
  app.OnCommand((1u << 16) | kCmdExit);
  EXPECT_EQ(Texts(kLog07).size(), lines);
  EXPECT_EQ(host.quits, 0);
}

TEST_F(VarnetTest, ClearAndAbout) {
  Start();
  app.OnCommand(kCmdClear);
  EXPECT_EQ(host.screen, std::vector<std::string>(99, ""));
  app.OnCommand(kCmdAbout);
  EXPECT_EQ(host.events.back(), "ShowAbout");
}

TEST_F(VarnetTest, TheDeviceFilterDialog) {
  host.Set(kIni, "Commands", "Device_007", "0");
  Start();
  EXPECT_EQ(app.Filters().commands[7], 0);
  EXPECT_EQ(app.Filters().revertives[7], 1);

  host.dialogCreates = false;  // a dialog that cannot be made can be tried again
  app.OnCommand(kCmdDeviceFilter);
  EXPECT_FALSE(app.FilterCreated());
  host.dialogCreates = true;
  app.OnCommand(kCmdDeviceFilter);
  app.FilterOnInit();
  app.OnCommand(kCmdDeviceFilter);  // already open: nothing
  EXPECT_EQ(std::count(host.events.begin(), host.events.end(), "CreateFilterDialog"), 2);
  EXPECT_TRUE(app.ConfigOpen());
  EXPECT_EQ(host.screen.back(), "Config on.");
  EXPECT_EQ(host.indicator, (std::vector<std::string>{"- - -", "/__2B__", "Enabled"}));

  app.FilterOnList(6);  // device 7: enabled by the revertive table
  EXPECT_EQ(app.SelectedDevice(), 7);
  EXPECT_EQ(host.indicator.back(), "Enabled");
  app.FilterOnList(-1);  // no selection: nothing changes
  EXPECT_EQ(app.SelectedDevice(), 7);
  app.FilterOnCommand(kFilterToggle);
  EXPECT_EQ(app.Filters().commands[7] + app.Filters().revertives[7], 0);
  EXPECT_EQ(host.indicator[host.indicator.size() - 2], "/__1B__");
  EXPECT_EQ(host.indicator.back(), "Disabled");
  app.FilterOnCommand(kFilterToggle);
  EXPECT_EQ(app.Filters().commands[7] + app.Filters().revertives[7], 2);
  app.FilterOnCommand(kFilterToggle);

  app.FilterOnCommand(kFilterSave);
  EXPECT_EQ(host.Get(kIni, "Commands", "Device_007"), "0");
  EXPECT_EQ(host.Get(kIni, "Revertives", "Device_007"), "0");
  EXPECT_EQ(host.Get(kIni, "Revertives", "Device_008"), "1");
  EXPECT_EQ(std::vector<std::string>(host.screen.end() - 2, host.screen.end()),
            (std::vector<std::string>{"Saving settings...", "Save complete."}));

  // Load after [Revertives] was deleted: every revertive entry becomes 1
  // and the file is not changed.
  host.DeleteSection(kIni, "Revertives");
  const int writes = host.profileWrites;
  app.FilterOnCommand(kFilterLoad);
  EXPECT_EQ(host.profileWrites, writes);
  EXPECT_EQ(app.Filters().commands[7], 0);
  EXPECT_EQ(app.Filters().revertives[7], 1);
  EXPECT_EQ(host.screen.back(), "Load complete.");

  app.FilterOnCommand(kFilterDisableAll);
  EXPECT_EQ(app.Filters().commands[999] + app.Filters().revertives[1], 0);
  EXPECT_EQ(app.Filters().commands[0], 1);  // entry 0 belongs to no device
  app.FilterOnCommand(kFilterEnableAll);
  EXPECT_EQ(app.Filters().commands[500], 1);
  app.FilterOnCommand(kFilterClose);
  EXPECT_FALSE(app.ConfigOpen());
  EXPECT_FALSE(app.FilterCreated());
  EXPECT_EQ(host.screen.back(), "Config off.");
  EXPECT_EQ(host.Get(kIni, "Commands", "Device_500"), "1");  // never saved
}

TEST_F(VarnetTest, CloseProgramRunsInOrderAndDestroysTheDialogBeforeTheLibraryGoes) {
  Start();
  app.OnCommand(kCmdDeviceFilter);
  app.FilterOnInit();
  host.events.clear();
  net.mirror = &host.events;
  app.OnCommand(kCmdExit);
  EXPECT_EQ(host.events,
            (std::vector<std::string>{"KillTimer 1", "KillTimer 2", "KillTimer 4",
                                      "DeleteName DEVICE_CONTROL 1 0", "DeleteName ORM 2 0",
                                      "TakeWaitingCompletions", "DeleteDisplayFont",
                                      "ClearDisplay", "DestroyFilterDialog",
                                      "FreeControlLibrary", "PostQuit 0"}));
  EXPECT_EQ(Texts(kLog07).back(), "Log Closed");
  EXPECT_TRUE(app.Log().LogOpen());  // the streams stay open until the program ends
  app.CloseProgram();          // a second close (the window's close box) does nothing
  EXPECT_EQ(host.quits, 1);
  app.Log().CloseStreams();
  EXPECT_EQ(host.openStreams, 0);
}

// A record of a run with that tag (kNoRunTag: the 'T' marker), or an
// untimed one (a run with PacketTimes off).
std::string TaggedRecord(int run) {
  std::uint8_t buffer[kDatagramSize + 1] = {'R', 'D'};
  std::uint8_t out[kRecordSize];
  const Arrival arrival{1, 1, run};
  BuildRecord(kRecordRevertive, buffer, 2, out, &arrival);
  return std::string(reinterpret_cast<const char*>(out), kRecordSize);
}
std::string UntimedRecords(std::size_t count) {
  std::uint8_t buffer[kDatagramSize + 1] = {'R', 'D'};
  std::uint8_t out[kRecordSize];
  BuildRecord(kRecordRevertive, buffer, 2, out);
  std::string records;
  for (std::size_t i = 0; i < count; ++i) records.append(reinterpret_cast<const char*>(out), kRecordSize);
  return records;
}

TEST_F(VarnetTest, ARunTakesATagAfterTheNewestFilesLastTimedOneAndNotTheOwnHoursLast) {
  // The clock stands at 07:15 on 1 October 2009: PKT_20091001.07 is the
  // hour's own file. Each case: the files there, and the tag of the run.
  const std::string own = "c:\\logs\\PKT_20091001.07";
  const std::string h06 = "c:\\logs\\PKT_20091001.06";
  const std::string h09 = "c:\\logs\\PKT_20091001.09";
  const std::string later = "c:\\logs\\PKT_20091002.00";
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;
    int tag;
  };
  const Case cases[] = {
      {"no file", {}, 0},
      {"the newest by its hour", {{h06, TaggedRecord(5)}, {"c:\\logs\\PKT_20091001.05", TaggedRecord(9)}}, 6},
      {"a later day is newer", {{later, TaggedRecord(20)}, {h09, TaggedRecord(30)}}, 21},
      // The clock was set back: the later hour's file ends with t = 5, the
      // run this one follows in its own hour's file took the tag before it.
      {"set back, own file one before", {{h09, TaggedRecord(5)}, {own, TaggedRecord(4)}}, 6},
      {"set back, own file one after", {{h09, TaggedRecord(5)}, {own, TaggedRecord(6)}}, 7},
      {"set back, own file's tag ahead", {{h09, TaggedRecord(5)}, {own, TaggedRecord(40)}}, 41},
      {"set back, own file's tag far behind", {{h09, TaggedRecord(5)}, {own, TaggedRecord(80)}}, 6},
      // Runs after a set back go on from the own file's, never taking turns
      // with two tags (6, 7, 6, 7 ...).
      {"set back, runs after it", {{h09, TaggedRecord(5)}, {own, TaggedRecord(6) + TaggedRecord(7)}}, 8},
      // A run with PacketTimes off wrote untimed records after timed ones.
      {"own file ends untimed", {{own, TaggedRecord(8) + UntimedRecords(3)}}, 9},
      {"newest ends untimed", {{h09, TaggedRecord(5) + UntimedRecords(2)}, {own, TaggedRecord(6) + UntimedRecords(1)}}, 7},
      {"untimed within the look back", {{own, TaggedRecord(8) + UntimedRecords(4095)}}, 9},
      {"untimed past the look back", {{own, TaggedRecord(8) + UntimedRecords(4096)}}, 0},
      {"no timed record", {{h06, UntimedRecords(2)}}, 0},
      {"timed records before tags", {{h06, TaggedRecord(12) + TaggedRecord(Arrival::kNoRunTag)}}, 0},
      // Names that are not ours are no newest file, however they sort.
      {"foreign names", {{"c:\\logs\\PKT_20261209.1x", TaggedRecord(40)},
                         {"c:\\logs\\PKT_20261209.07.bak", TaggedRecord(50)},
                         {"c:\\logs\\PKT_20261309.07", TaggedRecord(60)},
                         {h06, TaggedRecord(2)}}, 3},
      {"only foreign names", {{"c:\\logs\\PKT_20261209.1x", TaggedRecord(40)}}, 0},
      {"a name in small letters", {{"c:\\logs\\pkt_20091001.09", TaggedRecord(70)}, {h06, TaggedRecord(2)}}, 71},
      // A file that ends on part of a record: its last whole record counts.
      {"newest cut mid-record", {{h09, TaggedRecord(4) + TaggedRecord(9).substr(0, 300)}, {h06, TaggedRecord(1)}}, 5},
      {"own file cut mid-record", {{own, TaggedRecord(11) + TaggedRecord(3).substr(0, 17)}}, 12},
      {"newest holds no whole record", {{h09, TaggedRecord(9).substr(0, 527)}, {h06, TaggedRecord(3)}}, 4},
      {"an empty own file", {{own, ""}, {h06, TaggedRecord(9)}}, 10},
      // The tags go round after 126.
      {"the wrap", {{h06, TaggedRecord(126)}}, 0},
      {"the wrap onto the own file's", {{h09, TaggedRecord(126)}, {own, TaggedRecord(0)}}, 1},
      {"before the wrap", {{h06, TaggedRecord(125)}}, 126},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeCaptureHost h;
    h.Set(kIni, "Paths", "LogFilePath", "c:\\logs");
    h.Set(kIni, "Network", "SavePackets", "1");
    h.Set(kIni, "Network", "PacketTimes", "1");
    for (const auto& [path, bytes] : c.files) h.files[path] = bytes;
    FakeNet n;
    Varnet v(h, n);
    ASSERT_TRUE(v.Startup());
    FakeNet::Request* q = n.Arrive(2, "RD 1");
    ASSERT_NE(q, nullptr);
    v.OnNetCompletion(kNcbDatagramReceive, q);
    // The run's record follows the own file's whole records.
    const std::string& bytes = h.files[own];
    ASSERT_GE(bytes.size(), kRecordSize);
    ASSERT_EQ(bytes.size() % kRecordSize, 0u);
    RecordView view;
    ASSERT_TRUE(ReadRecord(reinterpret_cast<const std::uint8_t*>(bytes.data()) + bytes.size() - kRecordSize,
                           kRecordSize, view));
    ASSERT_TRUE(view.timed);
    EXPECT_EQ(view.arrival.run, c.tag);
    EXPECT_EQ(view.arrival.sequence, 1u);
  }
}

}  // namespace
}  // namespace varnet
