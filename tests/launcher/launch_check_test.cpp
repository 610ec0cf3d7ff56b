// The launch-list checker on a list with every pitfall and a clean
// section: the plan lines and the warnings, each on its entry.
#include "core/launch_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>

#include "profile_text.h"

namespace pellor {
namespace {

class FakeEnvironment : public CheckEnvironment {
 public:
  std::string text;
  std::set<std::string> programs;  // "directory|program" that exist ("" directory: anywhere)
  std::size_t ProfileRead(const char* section, const char* key, const char* fallback, char* out,
                          std::size_t size, const char*) override {
    std::string value;
    if (!trelm::ProfileLookup(text, section, key, &value)) value = fallback;
    std::snprintf(out, size, "%s", value.c_str());
    return std::strlen(out);
  }
  std::vector<std::string> Sections(const char*) override { return {}; }
  std::vector<std::string> Keys(const char* section, const char*) override {
    std::vector<std::string> keys;
    std::istringstream in(text);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
      if (!line.empty() && line[0] == '[') {
        inSection = line == std::string("[") + section + "]";
      } else if (inSection && line.find('=') != std::string::npos) {
        keys.push_back(line.substr(0, line.find('=')));
      }
    }
    return keys;
  }
  bool ProgramExists(const std::string& program, const std::string& dir) override {
    return programs.count(dir + "|" + program) != 0 || programs.count("|" + program) != 0;
  }
};

std::vector<std::string> Warnings(const CheckReport& r) {
  std::vector<std::string> w;
  for (const std::string& line : r.lines) {
    if (line.rfind("  warning: ", 0) == 0) w.push_back(line.substr(11));
  }
  return w;
}

TEST(LaunchCheck, EveryPitfallOnItsEntryAndACleanSection) {
  FakeEnvironment env;
  env.text =
      "[Workstation_001]\n"
      "DebugMode=0\nQuitWhenDone=1\nCloseRunningORMandWait=0\n"
      "Boot_1=c:\\trelm\\orm.exe ; the control application\n"
      "Boot_2=<pause>\n"
      "Boot_3=D:\\tools\\app.exe\n"
      "Boot_4=c:\\missing\\tool.exe /x\n"
      "Boot_5=<directory>\n"
      "Boot_6= [wait]\n"
      "Boot_7=\n"
      "Boot_8=c:\\trelm\\never.exe\n"
      "[Workstation_002]\n"
      "DebugMode=1\nQuitWhenDone=0\nCloseRunningORMandWait=25\n"
      "Boot_1=c:\\trelm\\orm.exe\n"
      "Boot_2=<directory> c:\\trelm\n"
      "Boot_3=ready.exe [wait]\n"
      "Boot_4=<pause> 3\n"
      "Boot_5=<pause>\t2\n"  // a tab parts the number as the launcher reads it
      "[Workstation_003]\n"
      "Boot_1=x\n";
  env.programs = {"|c:\\trelm\\orm.exe", "c:\\trelm|ready.exe"};

  const CheckReport first = CheckSection(env, "c:\\cfg\\LAUNCH.INI", "Workstation_001");
  EXPECT_EQ(Warnings(first), (std::vector<std::string>{
      "Boot_1 is an ORM entry, skipped when ORM is already running at log-on (CloseRunningORMandWait is 0)",
      "Boot_2 is a pause without a number of seconds: it pauses nothing",
      "Boot_3 becomes \"c:D:\\tools\\app.exe\" by the drive prefix rule and cannot start",
      "Boot_4: the program \"c:\\missing\\tool.exe\" does not exist",
      "Boot_5 is a directory entry without a directory",
      "Boot_6 is a wait entry with an empty command line",
      "Boot_8 comes after the end of the list and is never read"}));
  EXPECT_EQ(first.warnings, 7);
  const std::vector<std::string>& l = first.lines;
  EXPECT_EQ(l[0], "[Workstation_001]");
  EXPECT_EQ(l[1], "  DebugMode=0 QuitWhenDone=1 CloseRunningORMandWait=0");
  EXPECT_NE(std::find(l.begin(), l.end(), "  Boot_1=c:\\trelm\\orm.exe   [ORM]"), l.end());
  EXPECT_NE(std::find(l.begin(), l.end(), "  Boot_7: the list ends here (an empty or missing entry)"), l.end());
  EXPECT_EQ(l.back(), "  the launcher then ends (QuitWhenDone)");

  // A clean section: ORM closed first, so its entry starts a fresh one; a
  // directory change, a wait and the 10-second cap.
  const CheckReport second = CheckSection(env, "c:\\cfg\\LAUNCH.INI", "Workstation_002");
  EXPECT_EQ(Warnings(second), std::vector<std::string>{});
  EXPECT_EQ(second.lines[1], "  DebugMode=1 QuitWhenDone=0 CloseRunningORMandWait=10");
  const std::vector<std::string> plan(second.lines.begin() + 2, second.lines.end());
  EXPECT_EQ(plan, (std::vector<std::string>{
      "  Boot_1=c:\\trelm\\orm.exe  [command]",
      "    starts \"c:\\trelm\\orm.exe\"",
      "    next step after 1000 ms",
      "  Boot_2=c:<directory> c:\\trelm  [directory] (as written: <directory> c:\\trelm)",
      "    changes the current directory to \"c:\\trelm\"",
      "    next step after 1000 ms",
      "  Boot_3=ready.exe [wait]  [wait]",
      "    starts \"ready.exe \" and waits for its ready report (30 s, three retries)",
      "    next step after 1000 ms, once the program reports ready",
      "  Boot_4=<pause> 3  [pause]",
      "    next step after 3000 ms",
      "  Boot_5=<pause>\t2  [pause]",
      "    next step after 2000 ms",
      "  Boot_6: the list ends here (an empty or missing entry)"}));

  // A section with defaults missing and no list: the template.
  const CheckReport third = CheckSection(env, "c:\\cfg\\LAUNCH.INI", "Workstation_003");
  EXPECT_EQ(third.lines[2], "  missing: the launcher would write DebugMode=0");
  EXPECT_EQ(Warnings(third), std::vector<std::string>{
      "the list is empty: the launcher would fill this section with the empty template (Boot_1 to Boot_10)"});
}

}  // namespace
}  // namespace pellor
