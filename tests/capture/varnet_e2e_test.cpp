// End to end: the real varnet.exe under Wine on an installation prepared on
// the prefix's C: drive, found and driven through Win32 as a user would:
// titles, menu commands, keys, the device filter dialog and its buttons,
// message boxes. (Wine keeps menus inside their process, so the check marks
// are read in varnet_window_test.) What the display shows is read from the test aid file that
// VARNET_SCREEN_LOG names.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/packet_record.h"
#include "e2e_harness.h"

namespace {

using namespace trelm_e2e;

constexpr const char* kRoot = "c:\\vne2e";
constexpr const char* kConfig = "c:\\vne2e\\cfg";
constexpr const char* kSystem = "c:\\vne2e\\sys";
constexpr const char* kLogs = "c:\\vne2e\\logs";
constexpr const char* kIni = "c:\\vne2e\\cfg\\VARNET.INI";
constexpr const char* kScreen = "c:\\vne2e\\screen.txt";
constexpr const char* kTitle = "Trelm Tessik Log - V3.09.00 - Channel 3";

std::string HourLog() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char name[128];
  wsprintfA(name, "%s\\LOG_%04d%02d%02d.%02d", kLogs, t.wYear, t.wMonth, t.wDay, t.wHour);
  return name;
}

// The texts of a log's lines, without their time stamps.
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

std::string Text(HWND window) {
  char text[300] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
  return std::find(lines.begin(), lines.end(), text) != lines.end();
}

// The hour's files are named at each look; a run that would begin in the
// last two minutes of an hour (a run takes up to about 40 s under load)
// starts after it instead, so that all it reads and writes has one name.
void WaitPastTheHourIfItEndsSoon() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  if (t.wMinute >= 58) Sleep(((59 - t.wMinute) * 60 + 60 - t.wSecond) * 1000 + 1000);
}

class VarnetEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    WaitPastTheHourIfItEndsSoon();
    varnet_ = Built("TRELM_VARNET");
    ASSERT_FALSE(varnet_.empty()) << "TRELM_VARNET names the varnet.exe under test";
    for (const char* dir : {kRoot, kConfig, kSystem}) CreateDirectoryA(dir, nullptr);
    for (const char* file : {kIni, kScreen, "c:\\vne2e\\cfg\\ORM.INI"}) DeleteFileA(file);
    const std::string library = std::string(kSystem) + "\\TRELM_CC.DLL";
    if (!CopyFileA(Built("TRELM_CC").c_str(), library.c_str(), FALSE)) {
      ASSERT_NE(GetFileAttributesA(library.c_str()), INVALID_FILE_ATTRIBUTES);
    }
    DeleteFileA(HourLog().c_str());
    DeleteFileA("c:\\trelm_config.ini");
    WritePrivateProfileStringA("Config", "ConfigPath", kConfig, "c:\\trelm_config.ini");
    WritePrivateProfileStringA("Config", "SystemPath", kSystem, "c:\\trelm_config.ini");
    WritePrivateProfileStringA("Network", "Channel", "3", kIni);
    WritePrivateProfileStringA("Paths", "LogFilePath", kLogs, kIni);
    SetEnvironmentVariableA("VARNET_SCREEN_LOG", kScreen);
    SetEnvironmentVariableA("MC_ROOT", nullptr);
  }
  void TearDown() override {
    DeleteFileA("c:\\trelm_config.ini");
    for (const char* v : {"VELKNB_FAULTS", "VELKNB_TRACE", "VELKNB_QUEUE"}) {
      SetEnvironmentVariableA(v, nullptr);
    }
  }

  std::string Command() const { return "\"" + varnet_ + "\""; }
  std::vector<std::string> Screen() const { return ReadLines(kScreen); }
  std::string LastLogText() const {
    std::vector<std::string> texts = LogTexts(HourLog());
    return texts.empty() ? std::string() : texts.back();
  }

  std::string varnet_;
};

TEST_F(VarnetEndToEnd, StartsLogsTogglesPausesFiltersAndExits) {
  Program varnet(Command());
  ASSERT_TRUE(varnet.Started());
  HWND main = WaitWindow(varnet.Pid(), "V3VARNET", kTitle, 60000);
  ASSERT_NE(main, nullptr) << "the running title";
  ASSERT_TRUE(WaitFor([&] { return LogTexts(HourLog()).size() >= 8; }));
  const std::vector<std::string> first = {
      "Capture Log opened...'" + HourLog() + "'",
      "Configuration Path:",
      kIni,
      "Varnet started...",
      "    - Logging 'UR' headers -",
      "    - Logging 'N' series messages -",
      "    - Logging Packet Serial Numbers -",
      "    - Not logging Heartbeats -",
  };
  EXPECT_EQ(LogTexts(HourLog()), first);
  EXPECT_TRUE(Contains(Screen(), ReadLines(HourLog()).back()));

  // A show toggle: its line, its key and its check mark.
  PostMessageA(main, WM_COMMAND, 1015, 0);
  EXPECT_TRUE(WaitFor([&] { return LastLogText() == "    - Logging Heartbeats -"; }));
  // The key is written after the line, so it is waited for as well.
  EXPECT_TRUE(WaitFor([&] { return Profile(kIni, "Network", "ShowHeartbeats") == "1"; }))
      << Profile(kIni, "Network", "ShowHeartbeats");

  // Space pauses; a later line reaches the file but not the screen.
  PostMessageA(main, WM_CHAR, ' ', 0);
  EXPECT_TRUE(WaitFor([&] { return Text(main) == std::string(kTitle) + " - ! Screen Paused !"; }));
  PostMessageA(main, WM_COMMAND, 1015, 0);
  EXPECT_TRUE(WaitFor([&] { return LastLogText() == "    - Not logging Heartbeats -"; }));
  const std::string pausedLine = ReadLines(HourLog()).back();
  PostMessageA(main, WM_CHAR, ' ', 0);
  EXPECT_TRUE(WaitFor([&] { return Text(main) == kTitle; }));
  EXPECT_FALSE(Contains(Screen(), pausedLine));

  // The device filter dialog: select device 7, toggle it, save.
  PostMessageA(main, WM_COMMAND, 1011, 0);
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (dialog = FindWindowExA(main, nullptr, "BORDLG", nullptr)) != nullptr; }));
  HWND indicator = GetDlgItem(dialog, 101);
  EXPECT_TRUE(WaitFor([&] { return Text(indicator) == "Enabled"; }));
  HWND list = GetDlgItem(dialog, 321);
  EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 999);
  SendMessageA(list, LB_SETCURSEL, 6, 0);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(321, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
  SendMessageA(GetDlgItem(dialog, 102), BM_CLICK, 0, 0);
  EXPECT_EQ(Text(indicator), "Disabled");
  char caption[32] = "";
  GetDlgItemTextA(dialog, 103, caption, sizeof caption);
  EXPECT_STREQ(caption, "Enable|All");
  SendMessageA(GetDlgItem(dialog, 122), BM_CLICK, 0, 0);
  EXPECT_EQ(Profile(kIni, "Commands", "Device_007"), "0");
  EXPECT_EQ(Profile(kIni, "Revertives", "Device_007"), "0");
  EXPECT_EQ(Profile(kIni, "Commands", "Device_008"), "1");
  RECT placed;
  GetWindowRect(dialog, &placed);
  POINT origin{placed.left, placed.top};
  ScreenToClient(main, &origin);
  EXPECT_EQ(origin.x, 0);  // moved back from -1 to the corner
  EXPECT_EQ(origin.y, 0);
  const std::vector<std::string> screen = Screen();
  for (const char* line : {"Config on.", "Saving settings...", "Save complete."}) {
    EXPECT_TRUE(Contains(screen, line)) << line;
    EXPECT_FALSE(Contains(LogTexts(HourLog()), line)) << "screen only: " << line;
  }

  // Help, About: the modal dialog with its filled-in texts; Ok ends it.
  PostMessageA(main, WM_COMMAND, 1004, 0);
  HWND about = WaitWindow(varnet.Pid(), "BORDLG", "About");
  ASSERT_NE(about, nullptr);
  char line[128] = "";
  GetDlgItemTextA(about, 1999, line, sizeof line);
  EXPECT_STREQ(line, "Oct  1 2009 - 19:22:43");
  GetDlgItemTextA(about, 1998, line, sizeof line);
  EXPECT_EQ(std::string(line).rfind("Version 3.09.00", 0), 0u) << line;
  SendMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(about); }));

  // File, Exit with the dialog still open.
  PostMessageA(main, WM_COMMAND, 1001, 0);
  EXPECT_EQ(varnet.Wait(30000), 0);
  EXPECT_EQ(LastLogText(), "Log Closed");
}

TEST_F(VarnetEndToEnd, TheCloseBoxEndsLikeExit) {
  Program varnet(Command());
  HWND main = WaitWindow(varnet.Pid(), "V3VARNET", kTitle, 60000);
  ASSERT_NE(main, nullptr);
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(varnet.Wait(30000), 0);
  EXPECT_EQ(LastLogText(), "Log Closed");
  EXPECT_TRUE(Contains(Screen(), "\f"));  // the display was cleared on the way out
}

TEST_F(VarnetEndToEnd, ASecondVarnetOnTheSameLogDirectoryIsRefusedAndWritesNothing) {
  Program first(Command());
  HWND main = WaitWindow(first.Pid(), "V3VARNET", kTitle, 60000);
  ASSERT_NE(main, nullptr);
  // Once the start-up lines are written.
  ASSERT_TRUE(WaitFor([&] { return ReadFile(HourLog()).find("Heartbeats -") != std::string::npos; }));
  const std::string log = ReadFile(HourLog());
  Program second(Command());
  HWND box = WaitWindow(second.Pid(), "#32770", "! Error !", 60000);
  ASSERT_NE(box, nullptr);
  char text[512] = "";
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  EXPECT_EQ(std::string(text),
            "Varnet is already running with the log directory '" + std::string(kLogs) + "'");
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(second.Wait(30000), 0);
  EXPECT_EQ(ReadFile(HourLog()), log);  // the first run's log untouched
  PostMessageA(main, WM_COMMAND, 1001, 0);
  EXPECT_EQ(first.Wait(30000), 0);
  EXPECT_EQ(LastLogText(), "Log Closed");
}

TEST_F(VarnetEndToEnd, AMissingControlLibraryNamesTheSystemDirectoryAndEnds) {
  const std::string empty = std::string(kRoot) + "\\nolib";
  CreateDirectoryA(empty.c_str(), nullptr);
  WritePrivateProfileStringA("Config", "SystemPath", empty.c_str(), "c:\\trelm_config.ini");
  Program varnet(Command());
  HWND box = WaitWindow(varnet.Pid(), "#32770", "! Error !", 60000);
  ASSERT_NE(box, nullptr);
  char text[512] = "";
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  EXPECT_EQ(std::string(text), "Unable to load TRELM_CC.DLL. Please check that this file exists in the " +
                                   empty + " directory");
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(varnet.Wait(30000), 0);
  const std::vector<std::string> texts = LogTexts(HourLog());
  ASSERT_GE(texts.size(), 3u);
  EXPECT_EQ(texts[1], "Configuration Path:");
  EXPECT_EQ(texts.back(), kIni);  // nothing after the configuration lines
}

TEST_F(VarnetEndToEnd, ALogDirectoryThatCannotBeMadeClosesTheProgram) {
  WritePrivateProfileStringA("Paths", "LogFilePath", "c:\\vne2e\\no\\such\\logs", kIni);
  Program varnet(Command());
  HWND box = WaitWindow(varnet.Pid(), "#32770", "! Error !", 60000);
  ASSERT_NE(box, nullptr);
  char text[256] = "";
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  EXPECT_STREQ(text, "Unable to open log file");
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(varnet.Wait(30000), 0);
  EXPECT_EQ(WaitWindow(varnet.Pid(), "#32770", "! Error !", 0), nullptr);  // shown once
}

std::string HourPackets() {
  std::string name = HourLog();
  name.replace(name.rfind("LOG_"), 4, "PKT_");
  return name;
}

std::string Traffic() { return "\"" + Built("TRELM_NBTRAFFIC") + "\""; }

// Sends count datagrams "D%03d" from first on, alternately to channel 7's
// device-control name (odd numbers) and its ORM name.
void SendDatagrams(int first, int count) {
  Program send(Traffic() + " send --channel 7 --mix --text D%03d --quiet --first " +
               std::to_string(first) + " --count " + std::to_string(count));
  ASSERT_EQ(send.Wait(30000), 0);
}

TEST_F(VarnetEndToEnd, PacketTimesGiveArrivalsInOrderAndGapsThatAreTheWrappersDrops) {
  WritePrivateProfileStringA("Network", "Channel", "7", kIni);
  WritePrivateProfileStringA("Network", "SavePackets", "1", kIni);
  WritePrivateProfileStringA("Network", "PacketTimes", "1", kIni);
  DeleteFileA(HourPackets().c_str());
  // A queue of two per name: a fast burst overflows it.
  SetEnvironmentVariableA("VELKNB_QUEUE", "2");
  Program varnet(Command());
  HWND main = WaitWindow(varnet.Pid(), "V3VARNET", "Trelm Tessik Log - V3.09.00 - Channel 7", 60000);
  ASSERT_NE(main, nullptr);
  FILETIME started;
  GetSystemTimeAsFileTime(&started);

  auto field = [](const std::string& r, int at, int size) {
    unsigned long long v = 0;
    for (int i = size - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(r[at + i]);
    return v;
  };
  // Ten at an easy pace: each record carries its arrival, in order, and
  // the next number.
  SendDatagrams(1, 10);
  ASSERT_TRUE(WaitFor([&] { return ReadFile(HourPackets()).size() == 10 * 528; }));
  std::string records = ReadFile(HourPackets());
  const unsigned long long start =
      static_cast<unsigned long long>(started.dwHighDateTime) << 32 | started.dwLowDateTime;
  for (int n = 0; n < 10; ++n) {
    const std::string r = records.substr(n * 528, 528);
    // The run's tag, one for all of its records.
    EXPECT_GE(static_cast<unsigned char>(r[3]), 0x80) << n;
    EXPECT_EQ(r[3], records[3]) << n;
    EXPECT_EQ(field(r, 12, 4), field(records, 12, 4) + n) << n;
    EXPECT_GE(field(r, 4, 8), n == 0 ? start : field(records.substr((n - 1) * 528), 4, 8)) << n;
    EXPECT_EQ(r.substr(16, 4), (n < 9 ? "D00" : "D0") + std::to_string(n + 1)) << n;
  }

  // A burst as fast as the traffic tool sends, then one more datagram once
  // all is quiet, so that every drop lies before a record.
  Program burst(Traffic() + " send --channel 7 --mix --quiet --count 3000");
  ASSERT_EQ(burst.Wait(60000), 0);
  std::size_t size = 0;
  for (int quiet = 0; quiet < 4;) {
    Sleep(500);
    const std::size_t now = ReadFile(HourPackets()).size();
    quiet = now == size ? quiet + 1 : 0;
    size = now;
  }
  SendDatagrams(11, 1);
  ASSERT_TRUE(WaitFor([&] { return ReadFile(HourPackets()).size() == size + 528; }));
  PostMessageA(main, WM_COMMAND, 1001, 0);
  EXPECT_EQ(varnet.Wait(30000), 0);

  long dropped = -1;
  for (const std::string& t : LogTexts(HourLog())) {
    std::sscanf(t.c_str(), "Lost in this run: %ld datagrams dropped", &dropped);
  }
  ASSERT_GE(dropped, 0) << "the close says what was lost";
  records = ReadFile(HourPackets());
  // pktdump counts the gaps in the sequence: exactly the wrapper's drops.
  const std::string summary = "c:\\vne2e\\summary.txt";
  Program pktdump("cmd /c \"\"" + Built("TRELM_PKTDUMP") + "\" summary " + HourPackets() + " > " +
                  summary + "\"");
  ASSERT_EQ(pktdump.Wait(30000), 0);
  long lost = 0, gaps = 0;
  for (const std::string& line : ReadLines(summary)) {
    const std::size_t at = line.find(": ");
    long l = 0;
    // "1 datagram lost (sequence ...", "2 datagrams lost (sequence ...".
    if (at != std::string::npos && line.find(" lost (sequence ") != std::string::npos &&
        std::sscanf(line.c_str() + at, ": %ld datagram", &l) == 1) {
      lost += l;
      ++gaps;
    }
  }
  EXPECT_EQ(lost, dropped) << ReadFile(summary);
  EXPECT_EQ(static_cast<long>(records.size() / 528) + dropped, 3011) << "recorded or dropped";

  // The report's page of the same capture: its numbers and its gap marks
  // (each with what it lost) say the same, and the burst's records are on
  // the axis.
  const std::string page = "c:\\vne2e\\report.html";
  DeleteFileA(page.c_str());
  Program report("\"" + Built("TRELM_PKTDUMP") + "\" report --out " + page + " " + HourPackets());
  ASSERT_EQ(report.Wait(30000), 0);
  const std::string html = ReadFile(page);
  const std::size_t row = html.find("<tr data-file=\"" + HourPackets().substr(HourPackets().rfind('\\') + 1) +
                                    "\" data-records=\"" + std::to_string(records.size() / 528) + "\"");
  ASSERT_NE(row, std::string::npos) << html.substr(0, 4000);
  EXPECT_EQ(html.substr(html.find("data-lost=", row), 12 + std::to_string(dropped).size()),
            "data-lost=\"" + std::to_string(dropped) + "\"");
  long marked = 0;
  for (std::size_t at = html.find("data-kind=\"gap\""); at != std::string::npos;
       at = html.find("data-kind=\"gap\"", at + 1)) {
    const std::size_t lostAt = html.find("data-lost=\"", at);
    if (lostAt != std::string::npos) marked += std::atol(html.c_str() + lostAt + 11);
  }
  EXPECT_EQ(marked, dropped);
  EXPECT_EQ(html.find("carry no arrival time"), std::string::npos) << "every record carries its time";
  EXPECT_NE(html.find("id=\"traffic\""), std::string::npos);
  std::printf("burst of 3000: %ld dropped in %ld gaps\n", dropped, gaps);
}

TEST_F(VarnetEndToEnd, RecordsEveryDatagramRecoversFromANetworkFailureAndLeavesCleanly) {
  WritePrivateProfileStringA("Network", "Channel", "7", kIni);
  WritePrivateProfileStringA("Network", "SavePackets", "1", kIni);
  WritePrivateProfileStringA("Watchdog", "InfoDriver", "12", kIni);
  WritePrivateProfileStringA("Watchdog", "InfoSlot", "3", kIni);
  const char* trace = "c:\\vne2e\\trace.txt";
  const char* heard = "c:\\vne2e\\heard.txt";
  DeleteFileA(trace);
  DeleteFileA(heard);
  DeleteFileA(HourPackets().c_str());
  SetEnvironmentVariableA("VELKNB_TRACE", trace);
  // The 20th datagram is followed by a receive that fails with 0x17.
  SetEnvironmentVariableA("VELKNB_FAULTS", "recv=0x17@20");

  Program listener(Traffic() + " listen --name ID_012 --name DEVICE_CONTROL --seconds 120 --no-time --out " +
                   heard);
  ASSERT_TRUE(WaitFor([&] { return ReadFile(heard).find("listening") != std::string::npos; }, 30000));
  Program varnet(Command());
  HWND main = WaitWindow(varnet.Pid(), "V3VARNET", "Trelm Tessik Log - V3.09.00 - Channel 7", 60000);
  ASSERT_NE(main, nullptr);

  // The watchdog report reaches both names once at start, under the ORM name.
  ASSERT_TRUE(WaitFor([&] { return ReadLines(heard).size() >= 3; }));
  std::vector<std::string> reports = ReadLines(heard);
  for (std::size_t i = 1; i < 3; ++i) {
    const std::string& r = reports[i];
    EXPECT_TRUE(r.rfind("ID_012 <- ORM7 ", 0) == 0 || r.rfind("DEVICE_CONTROL <- ORM7 ", 0) == 0) << r;
    EXPECT_NE(r.find(": IW 12 '"), std::string::npos) << r;
    EXPECT_NE(r.find("<- ORM7 32: IW 12 '"), std::string::npos) << r;  // 31 characters and a zero
    EXPECT_EQ(r.substr(r.size() - 7), "' 3\\x00") << r;
  }

  // Ten datagrams; then eight idle seconds close the hour's files, and ten
  // more are recorded all the same.
  SendDatagrams(1, 10);
  ASSERT_TRUE(WaitFor([&] { return ReadFile(HourPackets()).size() == 10 * 528; }))
      << ReadFile(HourPackets()).size();
  Sleep(8000);
  SendDatagrams(11, 10);
  ASSERT_TRUE(WaitFor([&] { return ReadFile(HourPackets()).size() == 20 * 528; }));

  // The injected failure: names removed, re-registered ten seconds later.
  ASSERT_TRUE(WaitFor([&] { return Contains(LogTexts(HourLog()), "Network connection failure... attempting reset..."); }));
  ASSERT_TRUE(WaitFor([&] { return LastLogText() == "Network connection reset ok after 1 retries"; }, 30000));
  SendDatagrams(21, 10);
  ASSERT_TRUE(WaitFor([&] { return ReadFile(HourPackets()).size() == 30 * 528; }));

  const std::string records = ReadFile(HourPackets());
  for (int n = 1; n <= 30; ++n) {
    const std::string r = records.substr((n - 1) * 528, 528);
    char text[8];
    wsprintfA(text, "D%03d", n);
    EXPECT_EQ(r[0], n % 2 == 1 ? 1 : 2) << n;
    EXPECT_EQ(r.substr(1, 2), std::string("\0\4", 2)) << n;
    EXPECT_EQ(r.substr(3, 13), std::string(13, '\xFF')) << n;
    EXPECT_EQ(r.substr(16, 4), text) << n;
    EXPECT_EQ(r.substr(20), std::string(508, '\0')) << n;
  }

  PostMessageA(main, WM_COMMAND, 1001, 0);
  EXPECT_EQ(varnet.Wait(30000), 0);
  reports = ReadLines(heard);
  EXPECT_EQ(reports.size(), 3u) << "one report at start, none since";
  // Names added, removed at the failure, added again, removed at close
  // before the program ended; nothing was dropped.
  std::vector<std::string> calls;
  for (const std::string& line : ReadLines(trace)) {
    // Resets, the counters' reads and the socket's buffer are not names.
    bool name = true;
    for (const char* other : {"reset", "stats", "velknb32b:"}) name = name && line.rfind(other, 0) != 0;
    if (name) calls.push_back(line.substr(0, line.find(' ', line.find(' ') + 1)));
  }
  const std::vector<std::string> expected = {
      "add DEVICE_CONTROL7",    "add ORM7",    "delete DEVICE_CONTROL7", "delete ORM7",
      "add DEVICE_CONTROL7",    "add ORM7",    "delete DEVICE_CONTROL7", "delete ORM7",
      "end received=30"};
  EXPECT_EQ(calls, expected);
  EXPECT_NE(ReadFile(trace).find("dropped=0 malformed=0"), std::string::npos) << ReadFile(trace);
  EXPECT_EQ(LastLogText(), "Log Closed");
}

std::string Padded(std::string text, std::size_t size) {
  text.resize(size, ' ');
  return text;
}

TEST_F(VarnetEndToEnd, DecodesOneDatagramOfEachKindIntoTheLogAndTheErrorLog) {
  WritePrivateProfileStringA("Network", "Channel", "7", kIni);
  WritePrivateProfileStringA("Network", "ShowHeartbeats", "1", kIni);
  WritePrivateProfileStringA("Network", "SavePackets", "1", kIni);
  DeleteFileA(HourPackets().c_str());
  const std::string errors = std::string(kLogs) + "\\ERRORLOG.TXT";
  DeleteFileA(errors.c_str());
  // The datagrams, in a packet data file that the traffic tool sends.
  struct Datagram {
    std::uint8_t type;
    std::string data;
  };
  auto ur = [](const std::string& messages, int count) {
    return std::string("UR ") + '\0' + '\5' + static_cast<char>(count) + messages;
  };
  const std::string urMessages = std::string("\x10\x0c\x00\x07\x00\x03\xff\xfe", 8) +
                                 std::string("\x1f\xff\xff\xff\x00\x00\x01\x02", 8) +
                                 std::string("\x40\x00\x00\x00\x05\x00\x00", 7) + "hello";
  // 61 messages of a device above 999 are skipped; the last would pass
  // byte 511.
  std::string tooLong;
  for (int i = 0; i < 61; ++i) tooLong += std::string("\x15\xdc\x00\x01\x00\x01\x00\x01", 8);
  tooLong += std::string("\x30\x0c\x00\x01\x00\x01\xff", 7) + "abc";
  const Datagram datagrams[] = {
      {1, "CP 12 'a:b' x:CP 13 2"},
      {1, "NN 7 'A1:B2'"},
      {2, Padded("GR 5 1 3", 16) + "101"},
      {2, Padded("IR 7 1 2 4", 24) + std::string("ab\0\0cdef", 8)},
      {2, Padded("RR 3 1 2 9", 24) + "\xff\xff\x05\x01"},
      {2, std::string("HB 00\x2a\x00", 7)},
      {2, "TS 32 10 2009 07 15 02 048"},  // no such day: the clock is left alone
      {2, ur(urMessages, 3)},
      {2, "NS 1 x"},
      {2, "NA 1 x"},
      {2, "RD 12 READY"},
      {2, "Zulu"},
      {2, Padded("GR 0 1 1", 16) + "1"},
      {2, ur(tooLong, 62)},
  };
  const char* packets = "c:\\vne2e\\kinds.pkt";
  std::string file;
  for (const Datagram& d : datagrams) {
    std::uint8_t buffer[varnet::kDatagramSize + 1] = {};
    std::memcpy(buffer, d.data.data(), d.data.size());
    std::uint8_t record[varnet::kRecordSize];
    varnet::BuildRecord(d.type, buffer, static_cast<std::uint16_t>(d.data.size()), record);
    file.append(reinterpret_cast<char*>(record), sizeof record);
  }
  HANDLE out = CreateFileA(packets, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(out, file.data(), static_cast<DWORD>(file.size()), &written, nullptr);
  CloseHandle(out);

  Program varnet(Command());
  HWND main = WaitWindow(varnet.Pid(), "V3VARNET", "Trelm Tessik Log - V3.09.00 - Channel 7", 60000);
  ASSERT_NE(main, nullptr);
  Program send(Traffic() + " send --channel 7 --rate 50 --quiet --file " + packets);
  ASSERT_EQ(send.Wait(30000), 0);
  ASSERT_TRUE(WaitFor([&] { return Contains(LogTexts(HourLog()), "Zulu"); }));
  Sleep(500);

  std::vector<std::string> texts = LogTexts(HourLog());
  const auto from = std::find(texts.begin(), texts.end(), "    - Logging Heartbeats -");
  ASSERT_NE(from, texts.end());
  texts.erase(texts.begin(), from + 1);
  const std::vector<std::string> expected = {
      "[001] CP 12 'a:b' x",
      "[002] CP 13 2",
      "[001] Pkt Serial A1:B2 [007]",
      "[---] GPI Drv 005, Min 1, Max 3",
      "[001] GR 5 1 1",
      "[002] GR 5 2 0",
      "[003] GR 5 3 1",
      "[---] Info Drv 007, Min 1, Max 2, Slotsize 4",
      "[001] IR 7 1 'ab'",
      "[002] IR 7 2 'cdef'",
      "[---] Rtr Drv 3, Min 1, Max 2, iWS 9",
      "[001] RR 3 1 -1",
      "[002] RR 3 2 261",
      "Heartbeat - workstation 42",
      "TS 32 10 2009 07 15 02 048",
      "[---] Universal Revertive from Workstation 5 : Message count 3",
      "[001] RR 12 3 -2 [007]",
      "[002] Pkt Serial: 00000102",
      "[003] hello",
      "NS 1 x",
      "RD 12 READY",
      "Unrecognised data in revertive packet *",
      "Zulu",
      "[---] Universal Revertive from Workstation 5 : Message count 62",
  };
  ASSERT_EQ(texts.size(), expected.size()) << "the log after start-up:\n" << [&] {
    std::string all;
    for (const std::string& t : texts) all += t + "\n";
    return all;
  }();
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const std::string& e = expected[i];
    if (e.back() == '*') {
      EXPECT_EQ(texts[i].rfind(e.substr(0, e.size() - 1), 0), 0u) << texts[i];
    } else {
      EXPECT_EQ(texts[i], e) << i;
    }
  }
  std::vector<std::string> entries;
  for (const std::string& line : ReadLines(errors)) entries.push_back(line.substr(22));
  EXPECT_EQ(entries, (std::vector<std::string>{Padded("GR 0 1 1", 16) + "1",
                                               "Message exceeds packet boundary"}));

  // The traffic tool's mix on top; then pktdump decodes the hour's packet
  // data file offline, with the same VARNET.INI, into the same texts.
  Program mix(Traffic() + " send --channel 7 --mix --count 60 --rate 300 --quiet");
  ASSERT_EQ(mix.Wait(30000), 0);
  const std::size_t records = std::size(datagrams) + 60;
  ASSERT_TRUE(WaitFor([&] { return ReadFile(HourPackets()).size() == records * 528; }));
  Sleep(500);
  const std::string decoded = std::string(kRoot) + "\\decoded.txt";
  Program pktdump("cmd /c \"\"" + Built("TRELM_PKTDUMP") + "\" decode --ini " + kIni + " " +
                  HourPackets() + " > " + decoded + "\"");
  ASSERT_EQ(pktdump.Wait(30000), 0);
  std::vector<std::string> offline, offlineErrors;
  for (const std::string& line : ReadLines(decoded)) {
    const std::size_t text = line.find(": ", line.find(':', 4) + 1);
    ASSERT_NE(text, std::string::npos) << line;
    std::string t = line.substr(text + 2);
    if (t.rfind("ERRORLOG: ", 0) == 0) {
      offlineErrors.push_back(t.substr(10));
    } else {
      offline.push_back(t);
    }
  }
  std::vector<std::string> live = LogTexts(HourLog());
  live.erase(live.begin(), std::find(live.begin(), live.end(), "    - Logging Heartbeats -") + 1);
  // Only the receive counter differs: offline there is none.
  for (std::vector<std::string>* texts : {&live, &offline}) {
    for (std::string& t : *texts) {
      if (t.rfind("Unrecognised data in revertive packet ", 0) == 0) t = "Unrecognised data in revertive packet N";
    }
  }
  EXPECT_GT(live.size(), expected.size() + 60);
  EXPECT_EQ(offline, live);
  EXPECT_EQ(offlineErrors, entries);
  PostMessageA(main, WM_COMMAND, 1001, 0);
  EXPECT_EQ(varnet.Wait(30000), 0);
}

// Answers the open-file dialog with the given title: the file's name into
// its name box, then Open.
bool AnswerFileDialog(DWORD pid, const char* title, const std::string& path) {
  HWND dialog = WaitWindow(pid, "#32770", title, 30000);
  if (dialog == nullptr) return false;
  HWND name = GetDlgItem(dialog, 0x47c);  // the name box (cmb13)
  if (name == nullptr) name = GetDlgItem(dialog, 0x480);  // or edt1
  if (name == nullptr) return false;
  SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  return WaitFor([&] { return !IsWindow(dialog); });
}

// A list box line of another process. (Wine hands it over as wide
// characters whichever form is asked for, so the wide form is asked for.)
std::string ListText(HWND list, int index) {
  wchar_t wide[256] = L"";
  if (SendMessageW(list, LB_GETTEXTLEN, index, 0) >= 255) return "(too long)";
  SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(wide));
  char text[256] = "";
  WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
  return text;
}

TEST_F(VarnetEndToEnd, ThePacketDialogViewsAndReplaysAndAnalyseListsTheUnusualLines) {
  WritePrivateProfileStringA("Network", "Channel", "7", kIni);
  WritePrivateProfileStringA("Network", "SavePackets", "1", kIni);
  WritePrivateProfileStringA("Network", "CommandReplayEnabled", "1", kIni);
  WritePrivateProfileStringA("Network", "RevertiveReplayEnabled", "1", kIni);
  const char* heard = "c:\\vne2e\\replayed.txt";
  DeleteFileA(heard);
  DeleteFileA(HourPackets().c_str());
  Program listener(Traffic() + " listen --name DEVICE_CONTROL7 --name ORM7 --seconds 120 --no-time --out " +
                   heard);
  ASSERT_TRUE(WaitFor([&] { return ReadFile(heard).find("listening") != std::string::npos; }, 30000));
  Program varnet(Command());
  HWND main = WaitWindow(varnet.Pid(), "V3VARNET", "Trelm Tessik Log - V3.09.00 - Channel 7", 60000);
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(WaitFor([&] { return Contains(LogTexts(HourLog()), "Varnet started..."); }));
  SendDatagrams(1, 3);
  ASSERT_TRUE(WaitFor([&] { return ReadFile(HourPackets()).size() == 3 * 528; }));

  // The Packet dialog, with the hour's packet data file chosen.
  PostMessageA(main, WM_COMMAND, 765, 0);
  ASSERT_TRUE(AnswerFileDialog(varnet.Pid(), "Open Packet File", HourPackets()));
  HWND dialog = WaitWindow(varnet.Pid(), "BORDLG", HourPackets().c_str());
  ASSERT_NE(dialog, nullptr) << "the dialog's caption is the file's path";
  HWND list = GetDlgItem(dialog, 500);
  ASSERT_TRUE(WaitFor([&] { return SendMessageA(list, LB_GETCOUNT, 0, 0) == 34; }));
  EXPECT_EQ(ListText(list, 0), "Packet: 0001 (0001) - Type 1 - Length 4");
  EXPECT_EQ(ListText(list, 1), "  ");
  EXPECT_EQ(ListText(list, 2),
            "0000-0010 : 44 30 30 31 00 00 00 00   00 00 00 00 00 00 00 00 - D001.... ........");
  EXPECT_EQ(ListText(list, 33).substr(0, 12), "01f0-0200 : ");
  SendMessageA(GetDlgItem(dialog, 503), BM_CLICK, 0, 0);  // Next|Packet
  EXPECT_TRUE(WaitFor([&] { return ListText(list, 0) == "Packet: 0002 (0002) - Type 2 - Length 4"; }));
  char number[16] = "";
  GetDlgItemTextA(dialog, 501, number, sizeof number);
  EXPECT_STREQ(number, "2");
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 603)));  // nothing to replay yet

  // Replay the three records, commands and revertives, 50 ms apart.
  SendMessageA(GetDlgItem(dialog, 605), BM_CLICK, 0, 0);
  SendMessageA(GetDlgItem(dialog, 606), BM_CLICK, 0, 0);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 603)));
  SetDlgItemTextA(dialog, 601, "50");
  SendMessageA(GetDlgItem(dialog, 603), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return Contains(Screen(), "STOPPED due to header"); }));
  std::vector<std::string> replayed;
  ASSERT_TRUE(WaitFor([&] {
    replayed.clear();
    for (const std::string& line : ReadLines(heard)) {
      if (line.find(" <- ORM7 ") != std::string::npos) replayed.push_back(line);
    }
    return replayed.size() >= 3;
  }));
  EXPECT_EQ(replayed, (std::vector<std::string>{"DEVICE_CONTROL7 <- ORM7 4: D001",
                                                "ORM7 <- ORM7 4: D002",
                                                "DEVICE_CONTROL7 <- ORM7 4: D003"}));
  GetDlgItemTextA(dialog, 600, number, sizeof number);
  EXPECT_STREQ(number, "4");  // where a later start resumes
  EXPECT_TRUE(Contains(Screen(), "D001"));  // replayed commands are shown
  EXPECT_EQ(ReadFile(HourPackets()).size(), 3u * 528);  // its own replay is not recorded
  SendMessageA(GetDlgItem(dialog, 506), BM_CLICK, 0, 0);  // Close
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(dialog); }));
  EXPECT_TRUE(Contains(Screen(), "------------------ Packet Analysis End -------------------"));

  // Analyse on a prepared log.
  const std::string prepared = std::string(kRoot) + "\\prepared.log";
  HANDLE out = CreateFileA(prepared.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  const std::string lines =
      "07:00:00-00 - Varnet started...\r\n07:00:01-00 - [001] CP 12 1\r\n"
      "07:00:02-00 - Network connection failure... attempting reset...\r\n"
      "07:00:03-00 - Unrecognised data in revertive packet 2\r\n07:00:04-00 - Log Closed\r\n"
      "07:00:05-00 - no line end";
  DWORD written = 0;
  WriteFile(out, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
  CloseHandle(out);
  const std::size_t from = Screen().size();
  PostMessageA(main, WM_COMMAND, 1002, 0);
  ASSERT_TRUE(AnswerFileDialog(varnet.Pid(), "Open Log File", prepared));
  const std::string end = "------------------ Log Analysis End -------------------";
  ASSERT_TRUE(WaitFor([&] { return Contains(Screen(), end); }));
  const std::vector<std::string> screen = Screen();
  EXPECT_EQ(std::vector<std::string>(screen.begin() + from, screen.end()),
            (std::vector<std::string>{"------------------ Log Analysis Start -------------------",
                                      kLogs, prepared, "07:00:00-00 - Varnet started...",
                                      "07:00:03-00 - Unrecognised data in revertive packet 2",
                                      "07:00:04-00 - Log Closed", end}));
  PostMessageA(main, WM_COMMAND, 1001, 0);
  EXPECT_EQ(varnet.Wait(30000), 0);
}

}  // namespace

// Fills the disk that holds path's folder: writes until nothing more fits.
// Returns the handle of the filler file, which is deleted to free it.
HANDLE FillDisk(const std::string& path) {
  HANDLE filler = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (filler == INVALID_HANDLE_VALUE) return filler;
  std::string block(4096, 'f');
  for (std::size_t size : {4096u, 512u, 64u, 1u}) {
    DWORD written = 0;
    while (WriteFile(filler, block.data(), static_cast<DWORD>(size), &written, nullptr) &&
           written == size) {
    }
  }
  return filler;
}

long Count(const std::vector<std::string>& lines, const std::string& part) {
  return static_cast<long>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
    return l.find(part) != std::string::npos;
  }));
}

TEST_F(VarnetEndToEnd, AFullLogDiskLosesOnlyWhatItCountsAndNeverAPartOfARecord) {
  const std::string disk = "c:\\vnfull";
  if (GetFileAttributesA((disk + "\\small_disk.mark").c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "no small disk is mounted on c:\\vnfull (tests/e2e/small_disk.sh needs root)";
  }
  const std::string logs = disk + "\\logs";
  CreateDirectoryA(logs.c_str(), nullptr);
  WritePrivateProfileStringA("Paths", "LogFilePath", logs.c_str(), kIni);
  WritePrivateProfileStringA("Network", "Channel", "7", kIni);
  WritePrivateProfileStringA("Network", "SavePackets", "1", kIni);
  std::string name = HourPackets();
  const std::string packets = logs + name.substr(name.rfind('\\'));
  name = HourLog();
  const std::string log = logs + name.substr(name.rfind('\\'));
  DeleteFileA(packets.c_str());
  DeleteFileA(log.c_str());

  Program varnet(Command());
  HWND main = WaitWindow(varnet.Pid(), "V3VARNET", "Trelm Tessik Log - V3.09.00 - Channel 7", 60000);
  ASSERT_NE(main, nullptr);
  SendDatagrams(1, 10);
  ASSERT_TRUE(WaitFor([&] { return ReadFile(packets).size() == 10 * 528; }));

  // The disk fills: twenty datagrams find no room for their records (and
  // the lines find little); reception goes on, and the failure is said.
  HANDLE filler = FillDisk(disk + "\\filler");
  ASSERT_NE(filler, INVALID_HANDLE_VALUE);
  SendDatagrams(11, 20);
  ASSERT_TRUE(WaitFor([&] { return Count(Screen(), "Unable to write to '" + packets + "'") == 1; }))
      << "the packet data file's failure on the screen";
  Sleep(1000);
  EXPECT_EQ(ReadFile(packets).size() % 528, 0u) << "never part of a record";
  EXPECT_EQ(WaitWindow(varnet.Pid(), "#32770", "! Error !", 0), nullptr) << "no box for a full disk";

  // Room again: the next datagrams are recorded and a line says what was lost.
  CloseHandle(filler);
  DeleteFileA((disk + "\\filler").c_str());
  SendDatagrams(31, 10);
  ASSERT_TRUE(WaitFor([&] { return Count(LogTexts(log), "Writing resumed - ") == 1; }))
      << LastLogText();
  std::string resumed;
  for (const std::string& t : LogTexts(log)) {
    if (t.rfind("Writing resumed - ", 0) == 0) resumed = t;
  }
  long linesLost = -1, recordsLost = -1;
  ASSERT_EQ(std::sscanf(resumed.c_str(),
                        "Writing resumed - %ld lines and %ld records could not be written", &linesLost,
                        &recordsLost),
            2)
      << resumed;
  // Records are written at most 100 ms after they came.
  WaitFor([&] { return static_cast<long>(ReadFile(packets).size() / 528) + recordsLost >= 40; });
  const std::string records = ReadFile(packets);
  ASSERT_EQ(records.size() % 528, 0u);
  const long kept = static_cast<long>(records.size() / 528);
  // Every datagram is either recorded or counted as lost; the last ten
  // were recorded, in order, after the gap.
  EXPECT_EQ(kept + recordsLost, 40) << resumed;
  EXPECT_EQ(records.substr(records.size() - 528 + 16, 4), "D040");
  for (long n = 0; n < kept; ++n) EXPECT_EQ(records[n * 528 + 16], 'D') << n;

  PostMessageA(main, WM_COMMAND, 1001, 0);
  EXPECT_EQ(varnet.Wait(30000), 0);
  const std::vector<std::string> texts = LogTexts(log);
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts.back(), "Log Closed");
  EXPECT_EQ(texts[texts.size() - 2], "Lost in this run: " + std::to_string(linesLost) +
                                         " lines and " + std::to_string(recordsLost) +
                                         " records not written");
  // The error log had no room either: the report was on the screen only.
  EXPECT_EQ(Count(Screen(), "Unable to write to '" + packets + "'"), 1);
}

TEST_F(VarnetEndToEnd, ADeadSocketResetsTheChannelAndWhatItMissedIsCounted) {
  WritePrivateProfileStringA("Network", "Channel", "7", kIni);
  WritePrivateProfileStringA("Network", "SavePackets", "1", kIni);
  DeleteFileA(HourPackets().c_str());
  // After five datagrams the wrapper's socket fails as a dead one does.
  SetEnvironmentVariableA("VELKNB_FAULTS", "dead=0@5");
  Program varnet(Command());
  HWND main = WaitWindow(varnet.Pid(), "V3VARNET", "Trelm Tessik Log - V3.09.00 - Channel 7", 60000);
  ASSERT_NE(main, nullptr);
  SendDatagrams(1, 6);
  ASSERT_TRUE(WaitFor([&] {
    return Contains(LogTexts(HourLog()), "Network connection failure... attempting reset...");
  })) << "the failed socket reaches the channel's reset";
  // Sent while the channel is down: missed, and counted as such.
  SendDatagrams(7, 4);
  ASSERT_TRUE(WaitFor([&] { return LastLogText() == "Network connection reset ok after 1 retries"; }, 30000))
      << LastLogText();
  SendDatagrams(11, 5);
  ASSERT_TRUE(WaitFor([&] { return ReadFile(HourPackets()).size() >= 11 * 528; }));
  Sleep(500);
  const long kept = static_cast<long>(ReadFile(HourPackets()).size() / 528);
  PostMessageA(main, WM_COMMAND, 1001, 0);
  EXPECT_EQ(varnet.Wait(30000), 0);
  const std::vector<std::string> texts = LogTexts(HourLog());
  ASSERT_GE(texts.size(), 2u);
  long dropped = -1, malformed = -1, down = -1, replay = -1, waiting = -1;
  ASSERT_EQ(std::sscanf(texts[texts.size() - 2].c_str(),
                        "Lost in this run: %ld datagrams dropped (queue full), %ld malformed, %ld "
                        "while the channel was down, %ld during replay, %ld waiting at the close",
                        &dropped, &malformed, &down, &replay, &waiting),
            5)
      << texts[texts.size() - 2];
  EXPECT_EQ(kept + dropped + down + waiting, 15) << "every datagram recorded or counted";
  EXPECT_GT(down, 0);
  EXPECT_EQ(texts.back(), "Log Closed");
}

namespace keep {

// Hour file names of the hour `hours` from now (negative: before).
std::string HourName(const char* prefix, int hours) {
  FILETIME now;
  SYSTEMTIME t;
  GetLocalTime(&t);
  SystemTimeToFileTime(&t, &now);
  ULARGE_INTEGER at{};
  at.LowPart = now.dwLowDateTime;
  at.HighPart = now.dwHighDateTime;
  at.QuadPart += static_cast<LONGLONG>(hours) * 36000000000LL;
  now.dwLowDateTime = at.LowPart;
  now.dwHighDateTime = at.HighPart;
  FileTimeToSystemTime(&now, &t);
  char name[32];
  wsprintfA(name, "%s%04d%02d%02d.%02d", prefix, t.wYear, t.wMonth, t.wDay, t.wHour);
  return name;
}

bool WriteBytes(const std::string& path, std::size_t size, char fill) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const std::string bytes(size, fill);
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(file);
  return ok && written == size;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace keep

// Retention on a real small disk: older hours take most of it; start-up
// deletes those past KeepDays and then the oldest until MinFree is free;
// a capture at a steady rate outgrows the free space, each write that
// fails deletes the oldest hour left and is made again. Nothing is lost;
// the current hour, a later hour (after a clock set back), names that are
// not exactly the tool's, a directory and the error log stay.
TEST_F(VarnetEndToEnd, RetentionKeepsTheDiskFreeAndLosesNothing) {
  const std::string disk = "c:\\vnkeep";
  if (!keep::Exists(disk + "\\small_disk.mark")) {
    GTEST_SKIP() << "no small disk is mounted on c:\\vnkeep (tests/e2e/small_disk.sh needs root)";
  }
  const std::string logs = disk + "\\logs\\";
  CreateDirectoryA(logs.c_str(), nullptr);
  WritePrivateProfileStringA("Paths", "LogFilePath", (disk + "\\logs").c_str(), kIni);
  WritePrivateProfileStringA("Network", "Channel", "7", kIni);
  WritePrivateProfileStringA("Network", "SavePackets", "1", kIni);
  WritePrivateProfileStringA("Retention", "KeepDays", "30", kIni);
  WritePrivateProfileStringA("Retention", "MinFreeMB", "1", kIni);

  // 40 days ago: older than kept. Then ten hours of 100 KB before this
  // one, a later hour, and names that are not the tool's.
  const std::string ancient = keep::HourName("PKT_", -40 * 24);
  ASSERT_TRUE(keep::WriteBytes(logs + ancient, 50 * 1024, 'a'));
  ASSERT_TRUE(keep::WriteBytes(logs + keep::HourName("LOG_", -40 * 24), 1024, 'a'));
  std::vector<std::string> older;
  for (int h = 10; h >= 1; --h) {
    for (const char* prefix : {"LOG_", "PKT_"}) {
      older.push_back(keep::HourName(prefix, -h));
      ASSERT_TRUE(keep::WriteBytes(logs + older.back(), prefix[0] == 'L' ? 2048 : 100 * 1024, 'o'));
    }
  }
  const std::string later = keep::HourName("LOG_", 2);
  const std::string stranger = keep::HourName("PKT_", -12).substr(0, 14) + "x";
  const std::string directory = keep::HourName("PKT_", -30);
  ASSERT_TRUE(keep::WriteBytes(logs + later, 10 * 1024, 'l'));
  ASSERT_TRUE(keep::WriteBytes(logs + stranger, 20 * 1024, 's'));
  ASSERT_TRUE(CreateDirectoryA((logs + directory).c_str(), nullptr));
  ASSERT_TRUE(keep::WriteBytes(logs + "ERRORLOG.TXT", 1024, 'e'));
  ULARGE_INTEGER free{};
  ASSERT_TRUE(GetDiskFreeSpaceExA(logs.c_str(), &free, nullptr, nullptr));
  ASSERT_LT(free.QuadPart, 1024u * 1024) << "the older hours leave less than the minimum free";

  const std::string log = logs + keep::HourName("LOG_", 0);
  const std::string packets = logs + keep::HourName("PKT_", 0);
  Program varnet(Command());
  HWND main = WaitWindow(varnet.Pid(), "V3VARNET", "Trelm Tessik Log - V3.09.00 - Channel 7", 60000);
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(keep::Exists(packets));
  EXPECT_FALSE(keep::Exists(logs + ancient)) << "deleted at start: older than 30 days";

  // 3,000 records (1.5 MB with their lines) at 300 a second, where about
  // 1 MB is free: the disk fills and the oldest hours make room.
  const int sent = 3000;
  Program send(Traffic() + " send --channel 7 --mix --text D%04d --quiet --rate 300 --count " +
               std::to_string(sent));
  ASSERT_EQ(send.Wait(60000), 0);
  ASSERT_TRUE(WaitFor([&] { return ReadFile(packets).size() >= sent * 528u; }, 30000))
      << ReadFile(packets).size() / 528 << " records";
  PostMessageA(main, WM_COMMAND, 1001, 0);
  ASSERT_EQ(varnet.Wait(30000), 0);

  EXPECT_EQ(ReadFile(packets).size(), sent * 528u) << "every record, none lost to the full disk";
  const std::vector<std::string> texts = LogTexts(log);
  for (const char* loss : {"Writing resumed", "Lost in this run", "Unable to write"}) {
    EXPECT_EQ(Count(texts, loss), 0) << loss;
  }
  EXPECT_EQ(Count(Screen(), "Unable to write"), 0);

  // Every deletion is a line, oldest first: the ancient hour for age, then
  // the older hours in order for space; the close totals them.
  std::vector<std::string> deleted;
  unsigned long long bytes = 0;
  unsigned long files = 0;
  for (const std::string& t : texts) {
    if (t.rfind("Retention deleted ", 0) != 0) continue;
    deleted.push_back(t);
    for (std::size_t at = t.find(" ("); at != std::string::npos; at = t.find(" (", at + 1)) {
      bytes += std::strtoull(t.c_str() + at + 2, nullptr, 10);
      ++files;
    }
  }
  ASSERT_GE(deleted.size(), 4u);
  EXPECT_NE(deleted[0].find(ancient), std::string::npos) << deleted[0];
  EXPECT_NE(deleted[0].find(": older than 30 days"), std::string::npos) << deleted[0];
  for (std::size_t i = 1; i < deleted.size(); ++i) {
    const std::string& want = older[2 * (i - 1)];
    EXPECT_EQ(deleted[i], "Retention deleted " + want + " (2048 bytes), " + older[2 * i - 1] +
                              " (102400 bytes): to keep 1 MB free");
  }
  EXPECT_EQ(Count(texts, "Retention in this run: " + std::to_string(files) + " files of " +
                             std::to_string(deleted.size()) + " hours deleted (" +
                             std::to_string(bytes) + " bytes)"),
            1);
  // What was not deleted is still there, and what stays is not the tool's.
  for (std::size_t i = 2 * (deleted.size() - 1); i < older.size(); ++i) {
    EXPECT_TRUE(keep::Exists(logs + older[i])) << older[i];
  }
  for (const std::string& name : {later, stranger, directory, std::string("ERRORLOG.TXT")}) {
    EXPECT_TRUE(keep::Exists(logs + name)) << name;
  }
  EXPECT_TRUE(keep::Exists(log));
}
