// End to end: what the real varnet.exe reports to the Application event log
// under Wine, read from Wine's trace of its ReportEventA calls (the test
// runs under with_trace.sh; see event_trace.h). Each event's ID, level and
// insertion strings are checked against the capture log lines of the same
// run: start, the channel down and back (the stand-in wrapper's names made
// to fail), the datagrams lost and the close's totals; on the small disk
// that fills, writing stopped and resumed.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/varnet_events.h"
#include "e2e_harness.h"
#include "event_trace.h"

namespace {

using namespace trelm_e2e;

constexpr const char* kRoot = "c:\\vnev";
constexpr const char* kConfig = "c:\\vnev\\cfg";
constexpr const char* kSystem = "c:\\vnev\\sys";
constexpr const char* kLogs = "c:\\vnev\\logs";
constexpr const char* kIni = "c:\\vnev\\cfg\\VARNET.INI";
constexpr const char* kScreen = "c:\\vnev\\screen.txt";
constexpr const char* kTitle = "Trelm Tessik Log - V3.09.00 - Channel 7";

std::string HourFile(const std::string& dir, const char* prefix) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char name[160];
  wsprintfA(name, "%s\\%s%04d%02d%02d.%02d", dir.c_str(), prefix, t.wYear, t.wMonth, t.wDay, t.wHour);
  return name;
}

std::vector<std::string> LogTexts(const std::string& path) {
  std::vector<std::string> texts;
  for (const std::string& line : ReadLines(path)) texts.push_back(line.size() > 14 ? line.substr(14) : line);
  return texts;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs = 20000) {
  for (int waited = 0; waited < timeoutMs; waited += 50) {
    if (done()) return true;
    Sleep(50);
  }
  return done();
}

bool Has(const std::vector<std::string>& texts, const std::string& text) {
  for (const std::string& t : texts) {
    if (t == text) return true;
  }
  return false;
}

// The numbers of the first log text of that form, as strings ({} if none).
std::vector<std::string> Numbers(const std::vector<std::string>& texts, const char* format, int count) {
  for (const std::string& t : texts) {
    unsigned long long n[7] = {};
    if (std::sscanf(t.c_str(), format, &n[0], &n[1], &n[2], &n[3], &n[4], &n[5], &n[6]) == count) {
      std::vector<std::string> out;
      for (int i = 0; i < count; ++i) out.push_back(std::to_string(n[i]));
      return out;
    }
  }
  return {};
}

constexpr const char* kLinesLost = "Lost in this run: %llu lines and %llu records not written";
constexpr const char* kDatagramsLost =
    "Lost in this run: %llu datagrams dropped (queue full), %llu malformed, %llu while the channel "
    "was down, %llu during replay, %llu waiting at the close";

// The close's totals as its lines give them (noughts where a line is not
// written): what the close event carries.
std::vector<std::string> CloseTotals(const std::vector<std::string>& texts) {
  std::vector<std::string> lines = Numbers(texts, kLinesLost, 2);
  std::vector<std::string> datagrams = Numbers(texts, kDatagramsLost, 5);
  if (lines.empty()) lines = {"0", "0"};
  if (datagrams.empty()) datagrams = {"0", "0", "0", "0", "0"};
  lines.insert(lines.end(), datagrams.begin(), datagrams.end());
  std::vector<std::string> totals = Numbers(texts, "Run totals: %llu datagrams received, %llu recorded", 2);
  totals.insert(totals.end(), lines.begin(), lines.end());
  return totals;
}

// The level Wine printed an event's strings at, for its type.
const char* LevelOf(const trelm::EventDef& event) {
  switch (event.type) {
    case trelm::EventType::Error:
      return "err";
    case trelm::EventType::Warning:
      return "warn";
    default:
      return "trace";
  }
}

std::string Describe(const std::vector<TracedEvent>& events) {
  std::string text;
  for (const TracedEvent& e : events) {
    text += std::to_string(e.id) + " type " + std::to_string(e.type) + ":";
    for (const std::string& s : e.strings) text += " [" + s + "]";
    text += "\n";
  }
  return text;
}

class VarnetEventsEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    // A run that would cross an hour keeps one hour's files by starting after it.
    SYSTEMTIME t;
    GetLocalTime(&t);
    if (t.wMinute >= 58) Sleep(((59 - t.wMinute) * 60 + 60 - t.wSecond) * 1000 + 1000);
    ASSERT_TRUE(trace_.Available()) << "TRELM_TRACE names the trace file (with_trace.sh)";
    varnet_ = Built("TRELM_VARNET");
    ASSERT_FALSE(varnet_.empty()) << "TRELM_VARNET names the varnet.exe under test";
    for (const char* dir : {kRoot, kConfig, kSystem, kLogs}) CreateDirectoryA(dir, nullptr);
    for (const char* file : {kIni, kScreen}) DeleteFileA(file);
    const std::string library = std::string(kSystem) + "\\TRELM_CC.DLL";
    if (!CopyFileA(Built("TRELM_CC").c_str(), library.c_str(), FALSE)) {
      ASSERT_NE(GetFileAttributesA(library.c_str()), INVALID_FILE_ATTRIBUTES);
    }
    DeleteFileA("c:\\trelm_config.ini");
    WritePrivateProfileStringA("Config", "ConfigPath", kConfig, "c:\\trelm_config.ini");
    WritePrivateProfileStringA("Config", "SystemPath", kSystem, "c:\\trelm_config.ini");
    WritePrivateProfileStringA("Network", "Channel", "7", kIni);
    WritePrivateProfileStringA("Network", "SavePackets", "1", kIni);
    SetEnvironmentVariableA("VARNET_SCREEN_LOG", kScreen);
    SetEnvironmentVariableA("MC_ROOT", nullptr);
  }
  void TearDown() override {
    DeleteFileA("c:\\trelm_config.ini");
    SetEnvironmentVariableA("VELKNB_FAULTS", nullptr);
  }

  // Varnet with its event log traced; where the trace stood before it.
  Program* StartVarnet(const std::string& logs) {
    WritePrivateProfileStringA("Paths", "LogFilePath", logs.c_str(), kIni);
    DeleteFileA(HourFile(logs, "LOG_").c_str());
    DeleteFileA(HourFile(logs, "PKT_").c_str());
    from_ = trace_.End();
    SetTracedDebug(true);
    varnet_run_ = std::make_unique<Program>("\"" + varnet_ + "\"");
    SetTracedDebug(false);
    return varnet_run_.get();
  }
  // Closes Varnet by File, Exit; the events it reported, in order.
  std::vector<TracedEvent> CloseVarnet(HWND main) {
    PostMessageA(main, WM_COMMAND, 1001, 0);
    EXPECT_EQ(varnet_run_->Wait(30000), 0);
    return trace_.EventsFrom(from_);
  }

  // Checks one event: its ID, its type and Wine's level for it, its strings.
  static void Expect(const TracedEvent& e, const trelm::EventDef& def,
                     const std::vector<std::string>& strings) {
    SCOPED_TRACE(def.name);
    EXPECT_EQ(e.id, def.id);
    EXPECT_EQ(e.count, def.strings);
    EXPECT_EQ(e.type, def.type == trelm::EventType::Error     ? EVENTLOG_ERROR_TYPE
                      : def.type == trelm::EventType::Warning ? EVENTLOG_WARNING_TYPE
                                                              : EVENTLOG_INFORMATION_TYPE);
    EXPECT_EQ(e.level, LevelOf(def));
    EXPECT_EQ(e.strings, strings);
  }

  void SendDatagrams(int first, int count) {
    Program send("\"" + Built("TRELM_NBTRAFFIC") + "\" send --channel 7 --mix --text D%03d --quiet --first " +
                 std::to_string(first) + " --count " + std::to_string(count));
    ASSERT_EQ(send.Wait(30000), 0);
  }

  EventTrace trace_;
  std::string varnet_;
  std::size_t from_ = 0;
  std::unique_ptr<Program> varnet_run_;
};

TEST_F(VarnetEventsEndToEnd, StartChannelDownAndBackLossAndCloseAreReportedAsTheLogSaysThem) {
  // After three datagrams a receive fails as a lost network does; the
  // first attempt to add the names again fails too.
  SetEnvironmentVariableA("VELKNB_FAULTS", "recv=0x17@3,add=1@2");
  Program* varnet = StartVarnet(kLogs);
  ASSERT_TRUE(varnet->Started());
  HWND main = WaitWindow(varnet->Pid(), "V3VARNET", kTitle, 60000);
  ASSERT_NE(main, nullptr);
  const std::string log = HourFile(kLogs, "LOG_");
  SendDatagrams(1, 3);
  ASSERT_TRUE(WaitFor([&] { return Has(LogTexts(log), "Network connection failure... attempting reset..."); }))
      << "the failed receive resets the channel";
  SendDatagrams(4, 4);  // while the channel is down: missed, and counted
  // Two attempts, ten seconds apart.
  ASSERT_TRUE(WaitFor([&] { return Has(LogTexts(log), "Network connection reset ok after 2 retries"); },
                      45000))
      << ReadFile(log);
  SendDatagrams(8, 2);
  ASSERT_TRUE(WaitFor([&] { return ReadFile(HourFile(kLogs, "PKT_")).size() >= 5 * 528; }));
  const std::vector<TracedEvent> events = CloseVarnet(main);
  const std::vector<std::string> texts = LogTexts(log);
  ASSERT_EQ(texts.back(), "Log Closed");

  ASSERT_EQ(events.size(), 5u) << Describe(events) << trace_.TextFrom(from_).substr(0, 3000);
  Expect(events[0], varnet::kEventStarted, {"3.09.00", "7", kLogs});
  Expect(events[1], varnet::kEventChannelDown, {"7"});
  Expect(events[2], varnet::kEventChannelBack, {"7", "2"});
  const std::vector<std::string> datagrams = Numbers(texts, kDatagramsLost, 5);
  ASSERT_EQ(datagrams.size(), 5u) << "the close says what was lost";
  EXPECT_NE(datagrams[2], "0") << "datagrams sent while the channel was down";
  Expect(events[3], varnet::kEventDatagramsLost, datagrams);
  Expect(events[4], varnet::kEventClosed, CloseTotals(texts));
}

// Fills the disk that holds path's folder; the filler's handle, to free it.
HANDLE FillDisk(const std::string& path) {
  HANDLE filler = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (filler == INVALID_HANDLE_VALUE) return filler;
  std::string block(4096, 'f');
  for (std::size_t size : {4096u, 512u, 64u, 1u}) {
    DWORD written = 0;
    while (WriteFile(filler, block.data(), static_cast<DWORD>(size), &written, nullptr) && written == size) {
    }
  }
  return filler;
}

TEST_F(VarnetEventsEndToEnd, AFullLogDiskReportsWritingStoppedThenResumedWithTheLogsCounts) {
  const std::string disk = "c:\\vnfull";
  if (GetFileAttributesA((disk + "\\small_disk.mark").c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "no small disk is mounted on c:\\vnfull (tests/e2e/small_disk.sh needs root)";
  }
  const std::string logs = disk + "\\evlogs";
  CreateDirectoryA(logs.c_str(), nullptr);
  Program* varnet = StartVarnet(logs);
  HWND main = WaitWindow(varnet->Pid(), "V3VARNET", kTitle, 60000);
  ASSERT_NE(main, nullptr);
  const std::string packets = HourFile(logs, "PKT_");
  const std::string log = HourFile(logs, "LOG_");
  SendDatagrams(1, 5);
  ASSERT_TRUE(WaitFor([&] { return ReadFile(packets).size() == 5 * 528; }));

  HANDLE filler = FillDisk(disk + "\\evfiller");
  ASSERT_NE(filler, INVALID_HANDLE_VALUE);
  SendDatagrams(6, 10);
  ASSERT_TRUE(WaitFor([&] {
    for (const std::string& line : ReadLines(kScreen)) {
      if (line.find("Unable to write to '" + packets + "'") != std::string::npos) return true;
    }
    return false;
  })) << "the packet data file's failure on the screen";
  CloseHandle(filler);
  DeleteFileA((disk + "\\evfiller").c_str());
  SendDatagrams(16, 5);
  std::vector<std::string> resumed;
  ASSERT_TRUE(WaitFor([&] {
    resumed = Numbers(LogTexts(log),
                      "Writing resumed - %llu lines and %llu records could not be written and are lost", 2);
    return !resumed.empty();
  })) << "writing resumes once there is room";
  const std::vector<TracedEvent> events = CloseVarnet(main);
  const std::vector<std::string> texts = LogTexts(log);

  // Started, then writing stopped for each file that failed (the packet
  // data file first, the capture log when its lines failed too), resumed
  // with the log's counts, and the close with the run's totals.
  ASSERT_GE(events.size(), 4u) << Describe(events);
  Expect(events[0], varnet::kEventStarted, {"3.09.00", "7", logs});
  Expect(events[1], varnet::kEventWritingStopped, {packets});
  std::size_t next = 2;
  if (events[next].id == varnet::kEventWritingStopped.id) Expect(events[next++], varnet::kEventWritingStopped, {log});
  ASSERT_EQ(events.size(), next + 2) << Describe(events);
  Expect(events[next], varnet::kEventWritingResumed, resumed);
  Expect(events[next + 1], varnet::kEventClosed, CloseTotals(texts));
  EXPECT_NE(CloseTotals(texts)[1], "0") << "records were lost, and the close counts them";
}

}  // namespace
