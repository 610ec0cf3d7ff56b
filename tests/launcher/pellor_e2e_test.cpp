// End to end: the real pellor.exe under Wine, with our orm.exe and
// appready.exe, on files prepared on the prefix's C: drive. Message boxes
// are found by class and caption, read and answered like a user would;
// "Yes" to the close question (log off) is never pressed.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_harness.h"
#include "core/launcher_state.h"

namespace {

using namespace pellor;
using namespace trelm_e2e;

constexpr const char* kRoot = "c:\\e2e";
constexpr const char* kConfig = "c:\\e2e\\cfg";
constexpr const char* kBin = "c:\\e2e\\bin";
constexpr const char* kMarks = "c:\\e2e\\marks.txt";

struct Mark {
  std::string name;
  long long ms;
  std::string directory;
};

std::vector<Mark> Marks() {
  std::vector<Mark> marks;
  for (const std::string& line : ReadLines(kMarks)) {
    std::istringstream in(line);
    Mark m;
    in >> m.name >> m.ms;
    std::getline(in >> std::ws, m.directory);
    marks.push_back(m);
  }
  return marks;
}

// Spacings are checked against the stamps the started programs leave, so
// the lower bounds allow for the spread of a program's start-up time.
class PellorEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    pellor_ = Built("TRELM_PELLOR");
    ASSERT_FALSE(pellor_.empty()) << "TRELM_PELLOR names the pellor.exe under test";
    CreateDirectoryA(kRoot, nullptr);
    CreateDirectoryA(kConfig, nullptr);
    CreateDirectoryA(kBin, nullptr);
    Install("TRELM_ORM", "orm.exe");
    Install("TRELM_APPREADY", "appready.exe");
    for (const char* file : {"c:\\e2e\\cfg\\ORM.INI", "c:\\e2e\\cfg\\LAUNCH.INI",
                             "c:\\e2e\\cfg\\LIST.INI", kMarks, "c:\\e2e\\orm1.txt",
                             "c:\\e2e\\orm2.txt"}) {
      DeleteFileA(file);
    }
    DeleteFileA("c:\\trelm_config.ini");
    WritePrivateProfileStringA("Config", "ConfigPath", kConfig, "c:\\trelm_config.ini");
  }
  void TearDown() override {
    // Our programs end by themselves; wait for any left, so that the next
    // test finds a quiet desktop.
    HWND orm;
    for (int waited = 0; waited < 10000 && (orm = WaitWindow(0, "ORM", "ORM", 0)) != nullptr;
         waited += 100) {
      PostMessageA(orm, WM_CLOSE, 0, 0);
      Sleep(100);
    }
    DeleteFileA("c:\\trelm_config.ini");
  }

  // Copies a build output into c:\e2e\bin, where launch entries name it.
  static void Install(const char* variable, const char* name) {
    const std::string target = std::string(kBin) + "\\" + name;
    if (!CopyFileA(Built(variable).c_str(), target.c_str(), FALSE)) {
      // Still in use by a program that is ending: the copy already there serves.
      ASSERT_NE(GetFileAttributesA(target.c_str()), INVALID_FILE_ATTRIBUTES) << target;
    }
  }

  static void SetWorkstation(const char* number) {
    WritePrivateProfileStringA("Network", "Workstation", number, "c:\\e2e\\cfg\\ORM.INI");
  }
  static void List(const char* section, std::vector<std::pair<const char*, std::string>> keys,
                   const char* file = "c:\\e2e\\cfg\\LIST.INI") {
    for (const auto& [key, value] : keys) WritePrivateProfileStringA(section, key, value.c_str(), file);
  }
  static std::string Marker(const char* name, const char* delay = "0", const char* mode = "none") {
    return std::string(kBin) + "\\appready.exe " + delay + " " + mode + " " + kMarks + " " + name;
  }
  std::string Pellor(const char* arguments = "") const {
    return "\"" + pellor_ + "\" " + arguments;
  }

  std::string pellor_;
};

TEST_F(PellorEndToEnd, MissingWorkstationNumberShowsTheErrorAndExitsZero) {
  Program pellor(Pellor());
  ASSERT_TRUE(pellor.Started());
  HWND box = WaitWindow(pellor.Pid(), "#32770", "! Launch Error !");
  ASSERT_NE(box, nullptr);
  char text[512] = "";
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  EXPECT_STREQ(text,
               "The workstation number has not been set in the c:\\e2e\\cfg\\ORM.INI file. "
               "Please correct this before running Launch again. ");
  EXPECT_EQ(WaitWindow(pellor.Pid(), kMainClass, nullptr, 0), nullptr);  // nothing else opened
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(pellor.Wait(20000), 0);
  EXPECT_EQ(Profile("c:\\e2e\\cfg\\LAUNCH.INI", "Workstation_000", "DebugMode"), "<absent>");
}

TEST_F(PellorEndToEnd, ValidWorkstationCreatesItsSettingsAndAsksBeforeClosing) {
  SetWorkstation("12");
  Program pellor(Pellor());
  ASSERT_TRUE(pellor.Started());
  HWND main = WaitWindow(pellor.Pid(), kMainClass, kLauncherTitle);
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(IsIconic(main));
  // The first step comes about a second after start-up and writes the template.
  const char* file = "c:\\e2e\\cfg\\LAUNCH.INI";
  for (int waited = 0; waited < 15000 && Profile(file, "Workstation_012", "Boot_10") != "";
       waited += 100) {
    Sleep(100);
  }
  EXPECT_EQ(Profile(file, "Workstation_012", "DebugMode"), "0");
  EXPECT_EQ(Profile(file, "Workstation_012", "QuitWhenDone"), "0");
  EXPECT_EQ(Profile(file, "Workstation_012", "CloseRunningORMandWait"), "1");
  EXPECT_EQ(Profile(file, "Workstation_012", "Boot_1"), "");
  EXPECT_EQ(Profile(file, "Workstation_012", "Boot_10"), "");
  EXPECT_EQ(WaitWindow(pellor.Pid(), "Debug", "Pellor Debug", 0), nullptr);

  // Restoring the icon asks the close question instead; Cancel leaves
  // the launcher running as an icon.
  PostMessageA(main, WM_SYSCOMMAND, SC_RESTORE, 0);
  HWND asked = WaitWindow(pellor.Pid(), "#32770", kLauncherTitle);
  ASSERT_NE(asked, nullptr);
  PostMessageA(asked, WM_COMMAND, IDCANCEL, 0);
  for (int waited = 0; waited < 5000 && IsWindow(asked); waited += 50) Sleep(50);
  EXPECT_EQ(pellor.Wait(500), -1);
  EXPECT_TRUE(IsIconic(main));

  PostMessageA(main, WM_CLOSE, 0, 0);
  HWND box = WaitWindow(pellor.Pid(), "#32770", kLauncherTitle);
  ASSERT_NE(box, nullptr);
  char text[128] = "";
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  EXPECT_STREQ(text, "Closedown Windows as well?");
  EXPECT_EQ(pellor.Wait(300), -1);  // still running while asked
  PostMessageA(box, WM_COMMAND, IDNO, 0);
  EXPECT_EQ(pellor.Wait(20000), 0);
}

TEST_F(PellorEndToEnd, ListRunsInOrderWithItsSpacingAndQuitsWhenDone) {
  List("Workstation_003", {{"DebugMode", "1"},
                           {"QuitWhenDone", "1"},
                           {"Boot_1", Marker("A") + " ; first"},
                           {"Boot_2", "\\e2e\\bin\\appready.exe 0 none c:\\e2e\\marks.txt B"},
                           {"Boot_3", "<pause> 2"},
                           {"Boot_4", "<directory> c:\\e2e\\bin"},
                           {"Boot_5", "appready.exe 0 none c:\\e2e\\marks.txt C"}});
  Program pellor(Pellor("3 LIST.INI"));
  ASSERT_TRUE(pellor.Started());
  EXPECT_NE(WaitWindow(pellor.Pid(), "Debug", "Pellor Debug"), nullptr);
  EXPECT_EQ(pellor.Wait(60000), 0);
  std::vector<Mark> marks = Marks();
  ASSERT_EQ(marks.size(), 3u) << ReadFile(kMarks);
  EXPECT_EQ(marks[0].name, "A");
  EXPECT_EQ(marks[1].name, "B");
  EXPECT_EQ(marks[2].name, "C");
  EXPECT_GE(marks[1].ms - marks[0].ms, 700);
  EXPECT_LT(marks[1].ms - marks[0].ms, 10000);
  EXPECT_GE(marks[2].ms - marks[1].ms, 3500);  // 1 s, the 2 s pause, 1 s after the directory
  EXPECT_LT(marks[2].ms - marks[1].ms, 15000);
  EXPECT_EQ(lstrcmpiA(marks[2].directory.c_str(), kBin), 0) << marks[2].directory;
}

TEST_F(PellorEndToEnd, WaitEntriesHoldUntilTheProgramReportsReady) {
  List("Workstation_004", {{"QuitWhenDone", "1"},
                           {"Boot_1", Marker("W", "2000", "main") + " [wait]"},
                           {"Boot_2", Marker("N")},
                           {"Boot_3", Marker("V", "500", "alt") + " [wait]"},
                           {"Boot_4", Marker("M")}});
  Program pellor(Pellor("4 LIST.INI"));
  ASSERT_TRUE(pellor.Started());
  EXPECT_EQ(pellor.Wait(90000), 0);
  std::vector<Mark> marks = Marks();
  ASSERT_EQ(marks.size(), 4u) << ReadFile(kMarks);
  EXPECT_EQ(marks[1].name, "N");
  // Ready after 2 s, the next entry 1 s later; far less than the 30 s time-out.
  EXPECT_GE(marks[1].ms - marks[0].ms, 2500);
  EXPECT_LT(marks[1].ms - marks[0].ms, 20000);
  EXPECT_EQ(marks[3].name, "M");
  EXPECT_GE(marks[3].ms - marks[2].ms, 1100);
  EXPECT_LT(marks[3].ms - marks[2].ms, 20000);
}

std::vector<std::string> Protocol(const char* record) {
  std::vector<std::string> lines;
  for (const std::string& line : ReadLines(record)) {
    if (line.rfind("MSG_", 0) == 0 || line.rfind("WM_CLOSE", 0) == 0) lines.push_back(line);
  }
  return lines;
}

std::string Hex(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", value);
  return text;
}

unsigned long WParamOf(const std::string& line) {
  std::size_t at = line.find("wParam=");
  return at == std::string::npos ? 0 : std::strtoul(line.c_str() + at + 7, nullptr, 16);
}

TEST_F(PellorEndToEnd, RunningOrmIsClosedAndTheListStartsAFreshOne) {
  Program orm(std::string(kBin) + "\\orm.exe /record:c:\\e2e\\orm1.txt /closedelay:300 /lifetime:60000");
  ASSERT_TRUE(orm.Started());
  ASSERT_NE(WaitWindow(orm.Pid(), "ORM", "ORM"), nullptr);
  List("Workstation_005",
       {{"QuitWhenDone", "1"},
        {"CloseRunningORMandWait", "1"},
        {"Boot_1", std::string(kBin) + "\\orm.exe /record:c:\\e2e\\orm2.txt /announce /lifetime:30000"},
        {"Boot_2", "<pause> 2"}});
  Program pellor(Pellor("5 LIST.INI"));
  ASSERT_TRUE(pellor.Started());
  EXPECT_EQ(pellor.Wait(60000), 0);
  EXPECT_EQ(orm.Wait(10000), 0);  // the first ORM has closed

  std::vector<std::string> first = Protocol("c:\\e2e\\orm1.txt");
  ASSERT_EQ(first.size(), 3u) << ReadFile("c:\\e2e\\orm1.txt");
  EXPECT_EQ(first[0].rfind("MSG_FIND_ORM wParam=", 0), 0u) << first[0];
  const unsigned long launcher = WParamOf(first[0]);
  EXPECT_NE(launcher, 0u);
  EXPECT_EQ(first[1], "MSG_ORM_REGISTER_CLIENT wParam=" + Hex(launcher & 0xFFFF) + " lParam=4");
  EXPECT_EQ(first[2], "WM_CLOSE wParam=0x00000000 lParam=0");

  // The fresh ORM announced itself and got the leaving notice at the end.
  std::vector<std::string> second = Protocol("c:\\e2e\\orm2.txt");
  ASSERT_EQ(second.size(), 1u) << ReadFile("c:\\e2e\\orm2.txt");
  EXPECT_EQ(second[0], "MSG_ORM_CLIENT_LEAVING wParam=" + Hex(launcher & 0xFFFF) + " lParam=2");
}

TEST_F(PellorEndToEnd, OrmAnsweringOnlyTheSecondQueryIsFound) {
  Program orm(std::string(kBin) +
              "\\orm.exe /altonly /record:c:\\e2e\\orm1.txt /closedelay:100 /lifetime:60000");
  ASSERT_TRUE(orm.Started());
  ASSERT_NE(WaitWindow(orm.Pid(), "ORM", "ORM"), nullptr);
  List("Workstation_006", {{"QuitWhenDone", "1"},
                           {"CloseRunningORMandWait", "1"},
                           {"Boot_1", Marker("A")}});
  Program pellor(Pellor("6 LIST.INI"));
  ASSERT_TRUE(pellor.Started());
  EXPECT_EQ(pellor.Wait(60000), 0);
  EXPECT_EQ(orm.Wait(10000), 0);
  std::vector<std::string> record = Protocol("c:\\e2e\\orm1.txt");
  ASSERT_EQ(record.size(), 4u) << ReadFile("c:\\e2e\\orm1.txt");
  EXPECT_EQ(record[0].rfind("MSG_FIND_ORM wParam=", 0), 0u);
  EXPECT_EQ(record[1].rfind("MSG_FIND_ORM_ALT wParam=", 0), 0u);
  EXPECT_EQ(record[2].rfind("MSG_ORM_REGISTER_CLIENT", 0), 0u);
  EXPECT_EQ(record[3].rfind("WM_CLOSE", 0), 0u);
  ASSERT_EQ(Marks().size(), 1u);
}

}  // namespace
