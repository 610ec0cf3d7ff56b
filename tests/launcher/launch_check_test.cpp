// The launch-list checker on a list with every pitfall and a clean
// section: the plan lines and the warnings, each on its entry.
#include "core/launch_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "core/launch_list.h"
#include "profile_text.h"

namespace pellor {
namespace {

class FakeEnvironment : public CheckEnvironment {
 public:
  std::string text;
  std::set<std::string> programs;  // "directory|program" that exist ("" directory: anywhere)
  std::set<std::string> directories;  // full paths that exist
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
  std::string Text(const char*) override { return text; }
  bool DirectoryExists(const std::string& dir, const std::string& from, std::string* full) override {
    *full = dir.size() > 1 && dir[1] == ':' ? dir : from + "\\" + dir;
    return directories.count(*full) != 0;
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

// A list with every pitfall, a clean section and one with no list.
const char* const kPitfalls =
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

TEST(LaunchCheck, EveryPitfallOnItsEntryAndACleanSection) {
  FakeEnvironment env;
  env.text = kPitfalls;
  env.programs = {"|c:\\trelm\\orm.exe", "c:\\trelm|ready.exe"};
  env.directories = {"c:\\trelm"};

  const CheckReport first = CheckSection(env, "c:\\cfg\\LAUNCH.INI", "Workstation_001");
  EXPECT_EQ(Warnings(first), (std::vector<std::string>{
      "line 5: Boot_1 is an ORM entry, skipped when ORM is already running at log-on (CloseRunningORMandWait is 0)",
      "line 6: Boot_2 is a pause without a number of seconds: it pauses nothing",
      "line 7: Boot_3 becomes \"c:D:\\tools\\app.exe\" by the drive prefix rule and cannot start",
      "line 8: Boot_4: the program \"c:\\missing\\tool.exe\" does not exist, nor does any longer "
      "name its blanks allow (up to \"c:\\missing\\tool.exe /x\")",
      "line 9: Boot_5 is a directory entry without a directory",
      "line 10: Boot_6 is a wait entry with an empty command line",
      "line 12: Boot_8 comes after the end of the list and is never read"}));
  EXPECT_EQ(first.found[3].line, 8);
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
      "line 22: the list is empty: the launcher would fill this section with the empty template (Boot_1 to Boot_10)"});
}

TEST(LaunchCheck, TheWorkstationsDriveProgramsWithBlanksAndJson) {
  FakeEnvironment env;
  env.text =
      "[Workstation_007]\nDebugMode=0\nQuitWhenDone=0\nCloseRunningORMandWait=1\n"
      "Boot_1=c:\\Program Files\\App\\app.exe /x\n"
      "Boot_2=\"c:\\Program Files\\App\\app.exe\" /y\n"
      "Boot_3=c:\\Program Files\\Gone\\gone.exe\n";
  env.programs = {"|c:\\Program Files\\App\\app.exe"};
  // Staged on d: for a workstation that keeps its list on c:, the c: entries
  // are what it starts; checked as the file's own drive, they would not be.
  const CheckReport asWorkstation =
      CheckSection(env, "d:\\stage\\LAUNCH.INI", "Workstation_007", "c:\\trelm\\config");
  EXPECT_EQ(Warnings(asWorkstation),
            (std::vector<std::string>{
                "line 6: Boot_2 becomes \"c:\"c:\\Program Files\\App\\app.exe\" /y\" by the drive "
                "prefix rule and cannot start",
                "line 7: Boot_3: the program \"c:\\Program\" does not exist, nor "
                                     "does any longer name its blanks allow (up to \"c:\\Program "
                                     "Files\\Gone\\gone.exe\")"}));
  const CheckReport asFile = CheckSection(env, "d:\\stage\\LAUNCH.INI", "Workstation_007");
  EXPECT_EQ(asFile.warnings, 3);
  EXPECT_NE(Warnings(asFile)[0].find("becomes \"d:c:\\Program Files"), std::string::npos);

  // How CreateProcessA looks a program up.
  const struct {
    const char* line;
    std::vector<std::string> tried;
  } lines[] = {
      {"app.exe", {"app.exe"}},
      {"  c:\\a b\\c.exe /x  ", {"c:\\a", "c:\\a b\\c.exe", "c:\\a b\\c.exe /x"}},
      {"\"c:\\a b\\c.exe\" /x", {"c:\\a b\\c.exe"}},
      {"\"c:\\unclosed", {"c:\\unclosed"}},
      {"   ", {}},
  };
  for (const auto& c : lines) EXPECT_EQ(ProgramCandidates(c.line), c.tried) << c.line;

  // Which sections the launcher reads.
  const struct {
    const char* section;
    const char* note;
  } sections[] = {
      {"Workstation_007", ""},
      {"Workstation_-05", ""},
      {"Workstation_-01",
       "[Workstation_-01] is read only for -1 on the launcher's command line: -1 in ORM.INI means "
       "the workstation number is not set"},
      {"Workstation_000",
       "[Workstation_000] is never read: 0 on the launcher's command line means none, and 0 in "
       "ORM.INI is no workstation number"},
      {"Workstation_12", "[Workstation_12] is never read: workstation 12 reads [Workstation_012]"},
      {"Workstation_0012", "[Workstation_0012] is never read: workstation 12 reads [Workstation_012]"},
      {"Workstation_abc", "[Workstation_abc] is never read: no workstation number gives it"},
      {"Workstation_", "[Workstation_] is never read: no workstation number gives it"},
      {"Workstation_1000",
       "[Workstation_1000] is read only for a workstation number from ORM.INI: the launcher takes "
       "1000 on its command line as none"},
      {"Workstation_1234", ""},  // "1234" on the command line reads it
  };
  for (const auto& c : sections) EXPECT_EQ(SectionNote(c.section).text, c.note) << c.section;
  EXPECT_EQ(SectionNote("Workstation_-01").code, "section-command-line-only");
  EXPECT_TRUE(NeverRead(SectionNote("Workstation_000")));
  EXPECT_TRUE(NeverRead(SectionNote("Workstation_12")));
  EXPECT_FALSE(NeverRead(SectionNote("Workstation_1000")));

  EXPECT_EQ(LineOf(env.text, "workstation_007", "boot_2"), 6);
  EXPECT_EQ(LineOf(env.text, "Workstation_007", ""), 1);
  EXPECT_EQ(LineOf(env.text, "Workstation_008", "Boot_2"), 0);

  const std::string json = JsonReport("d:\\stage\\LAUNCH.INI", "c:\\trelm\\config", "HOST",
                                      {{3, "section-never-read", "a \"quoted\" note"}},
                                      {{"Workstation_007", asWorkstation}});
  EXPECT_EQ(json.substr(0, json.find("\"line\":3,") + 9),
            "{\"file\":\"d:\\\\stage\\\\LAUNCH.INI\",\"config_directory\":\"c:\\\\trelm\\\\config\","
            "\"start_drive\":\"c:\",\"programs_looked_up_on\":\"HOST\",\"file_warnings\":[{\"line\":3,");
  EXPECT_NE(json.find("\"code\":\"section-never-read\",\"text\":\"a \\\"quoted\\\" note\"}]"),
            std::string::npos);
  EXPECT_NE(json.find("{\"line\":7,\"code\":\"program-not-found\",\"text\":\"Boot_3: the program"),
            std::string::npos);
  EXPECT_EQ(json.substr(json.size() - 15), "],\"warnings\":3}");
}

// Every way a list is read otherwise than it looks: each case one section
// (its header on line 1), the codes and lines of its warnings in order.
TEST(LaunchCheck, EachMisreadEntryGetsItsCodeOnItsLine) {
  const std::string settings = "DebugMode=0\nQuitWhenDone=0\nCloseRunningORMandWait=1\n";  // lines 2-4
  std::string longList = settings;
  for (int n = 1; n <= 1005; ++n) longList += BootKey(n) + "=c:\\a.exe\n";
  using Found = std::vector<std::pair<std::string, int>>;
  const struct {
    const char* what;
    std::string body;
    Found found;
    const char* text;  // a part of the first warning's text
  } cases[] = {
      {"clean", settings + "Boot_1=c:\\a.exe ; tool\nBoot_2=<pause> 3\nBoot_3=<directory> c:\\dir\n", {}, ""},
      {"pause beyond the timer", settings + "Boot_1=<pause> 99999999999\n", {{"pause-capped", 5}},
       "asks for 99999999999 seconds: the launcher pauses 2147483647 ms (about 24.9 days)"},
      {"negative pause", settings + "Boot_1=<pause> -5\n", {{"pause-negative", 5}}, "takes as 0"},
      {"pause of 2.5", settings + "Boot_1=<pause> 2.5\n", {{"pause-extra-text", 5}},
       "pauses 2 seconds, not \"2.5\": the launcher reads a whole number and ignores \".5\""},
      {"pause of 1.5", settings + "Boot_1=<pause> 1.5\n", {{"pause-extra-text", 5}},
       "Boot_1 pauses 1 second, not \"1.5\""},
      {"pause of two hours", settings + "Boot_1=<pause> 7200\n", {{"pause-long", 5}}, "about 2.0 hours"},
      {"Boot_01 and Boot_0", settings + "Boot_1=c:\\a.exe\nBoot_01=c:\\a.exe\nBoot_0=c:\\a.exe\n",
       {{"boot-key-never-read", 6}, {"boot-key-never-read", 7}}, "Boot_01 is never read: entry 1 is read as Boot_1"},
      {"a line without =", settings + "Boot_1=c:\\a.exe\nc:\\a.exe /x\n", {{"line-without-equals", 6}},
       "\"c:\\a.exe /x\" has no '='"},
      {"a repeated key", settings + "Boot_1=c:\\a.exe\nboot_1=c:\\b.exe\n", {{"key-repeated", 6}},
       "boot_1 stands again (first on line 5)"},
      {"a repeated section", settings + "Boot_1=c:\\a.exe\n[Other]\nX=1\n[workstation_001]\nBoot_2=c:\\b.exe\n\n",
       {{"section-repeated", 8}}, "the 1 line under this one is never read"},
      {"a misspelt setting", settings + "Boot_1=c:\\a.exe\nQuitWhenDon=1\nBot_2=x\nNotes=y\nBoot3=z\nBootstrap=w\n",
       {{"unknown-key", 6}, {"unknown-key", 7}, {"unknown-key", 8}, {"boot-key-never-read", 9}, {"unknown-key", 10}},
       "QuitWhenDon is no key the launcher reads: is QuitWhenDone meant?"},
      {"settings as text and -1", "DebugMode=yes\nQuitWhenDone=1 ; quit\nCloseRunningORMandWait=-1\nBoot_1=c:\\a.exe\n",
       {{"setting-not-a-number", 2}, {"setting-extra-text", 3}, {"setting-taken-as-missing", 4}},
       "DebugMode=yes is not a number: the launcher takes it as 0"},
      {"an entry past the limit", settings + "Boot_1=c:\\a.exe " + std::string(300, 'x') + "\n",
       {{"entry-cut", 5}}, "Boot_1 holds 309 characters: the launcher reads only the first 255"},
      {"a list of 1005 entries, read to its end", longList + "Boot_1007=c:\\a.exe\n",
       {{"entry-after-end", 1010}}, "Boot_1007 comes after the end of the list"},
      {"a directory that is not there", settings + "Boot_1=<directory> c:\\nowhere\n",
       {{"directory-not-found", 5}}, "the directory \"c:\\nowhere\" does not exist"},
      {"an ORM entry's program", "DebugMode=0\nQuitWhenDone=0\nCloseRunningORMandWait=0\nBoot_1=c:\\gone\\orm.exe [wait]\n",
       {{"orm-entry-skipped", 5}, {"program-not-found", 5}}, "skipped when ORM is already running"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeEnvironment env;
    env.text = "[Workstation_001]\n" + c.body;
    env.programs = {"|c:\\a.exe", "|c:\\b.exe"};
    env.directories = {"c:\\dir"};
    const CheckReport r = CheckSection(env, "c:\\cfg\\LAUNCH.INI", "Workstation_001");
    Found found;
    for (const CheckWarning& w : r.found) found.emplace_back(w.code, w.line);
    EXPECT_EQ(found, c.found);
    if (!r.found.empty()) {
      EXPECT_NE(r.found[0].text.find(c.text), std::string::npos) << r.found[0].text;
    }
    // A setting present in the file is never called missing.
    for (const std::string& l : r.lines) EXPECT_EQ(l.find("missing: the launcher would write"), std::string::npos) << l;
  }

  // A profile's text is read as Windows reads it: the first section of a
  // name only.
  std::string value;
  EXPECT_TRUE(trelm::ProfileLookup("[A]\nx=1\n[B]\n[a]\ny=2\n", "a", "x", &value));
  EXPECT_FALSE(trelm::ProfileLookup("[A]\nx=1\n[B]\n[a]\ny=2\n", "a", "y", &value));

  // A file saved with a UTF-8 byte order mark is read as the profile calls
  // read it: its first line is its first section.
  const std::string marked = "\xEF\xBB\xBF[Workstation_001]\nBoot_1=x\n";
  EXPECT_TRUE(CheckFileText(marked).empty());
  EXPECT_EQ(LineOf(marked, "Workstation_001", "Boot_1"), 2);
  EXPECT_TRUE(trelm::ProfileLookup(marked, "workstation_001", "boot_1", &value));

  // Lines before any section, and each workstation section once.
  const std::vector<CheckWarning> before = CheckFileText("Boot_1=x\njunk\n; note\n\n[Workstation_001]\nBoot_2=y\n");
  ASSERT_EQ(before.size(), 2u);
  EXPECT_EQ(before[0].code + ":" + std::to_string(before[0].line), "key-before-section:1");
  EXPECT_EQ(before[1].text, "\"junk\" stands before any section: the launcher never reads it");
  EXPECT_EQ(WorkstationSections({"Workstation_001", "Other", "workstation_001", "WORKSTATION_002"}),
            (std::vector<std::string>{"Workstation_001", "WORKSTATION_002"}));
  const struct {
    const char* key;
    int index;
  } keys[] = {{"Boot_1", 1}, {"boot_12", 12}, {"Boot_01", 0}, {"Boot_0", 0}, {"Boot_+1", 0}, {"Boot_", 0}, {"Boot_1x", 0}};
  for (const auto& k : keys) EXPECT_EQ(BootIndexOf(k.key), k.index) << k.key;
}

// A launch list saved as Notepad's "Unicode" (UTF-16 little-endian with its
// mark), as UTF-16 big-endian or with a UTF-8 mark is read as the profile
// calls read it: the same narrow text, on the same lines, and a warning for
// what the decoding could not keep or Windows reads otherwise.
std::string Utf16(const std::u16string& text, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t u : text) {
    const char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
    out += bigEndian ? high : low;
    out += bigEndian ? low : high;
  }
  return out;
}

// A code page that holds U+0000..U+00FF as they are (as Latin-1 does).
std::string Latin1(const std::u16string& line, bool* changed) {
  std::string out;
  *changed = false;
  for (char16_t u : line) {
    *changed = *changed || u > 0xFF;
    out += u <= 0xFF ? static_cast<char>(u) : '?';
  }
  return out;
}

TEST(LaunchCheck, AListInUtf16OrWithAUtf8MarkIsReadAsTheProfileCallsReadIt) {
  const std::u16string list =
      u"[Workstation_001]\nDebugMode=0\nQuitWhenDone=0\nCloseRunningORMandWait=1\n"
      u"Boot_1=c:\\a.exe\nBoot_2=<pause> 99999999999\n";
  const std::string ascii(list.begin(), list.end());
  const std::u16string jorg = u"[Workstation_001]\r\nBoot_1=c:\\J\u00F6rg\\a.exe\r\n; \u4E2D\u6587\r\n";
  using Found = std::vector<std::pair<std::string, int>>;
  const struct {
    const char* what;
    std::string bytes;
    std::string text;  // as the launcher reads it
    Found found;       // the decoding's warnings: code and line
    Narrowing narrow;
  } cases[] = {
      {"UTF-16 little-endian", Utf16(list, false), ascii, {}, nullptr},
      {"UTF-16 big-endian, which Windows does not read", Utf16(list, true), ascii,
       {{"encoding-breaks-on-windows", 0}}, nullptr},
      {"a UTF-8 mark before a section on line 1", "\xEF\xBB\xBF" + ascii, ascii,
       {{"encoding-breaks-on-windows", 1}}, nullptr},
      {"a UTF-8 mark before a comment, all ASCII", "\xEF\xBB\xBF; list\r\n" + ascii,
       "; list\r\n" + ascii, {}, nullptr},
      {"UTF-8 beyond ASCII after a mark", "\xEF\xBB\xBF; list\n[Workstation_001]\nBoot_1=c:\\J\xC3\xB6rg\\a.exe\n",
       "; list\n[Workstation_001]\nBoot_1=c:\\J\xF6rg\\a.exe\n", {{"encoding-breaks-on-windows", 1}}, Latin1},
      {"characters the code page has not, on an entry and in a comment", Utf16(jorg, false),
       "[Workstation_001]\r\nBoot_1=c:\\J?rg\\a.exe\r\n; ??\r\n", {{"text-not-ansi", 2}}, nullptr},
      {"the same in a code page that has the entry's", Utf16(jorg, false),
       "[Workstation_001]\r\nBoot_1=c:\\J\xF6rg\\a.exe\r\n; ??\r\n", {}, Latin1},
      {"a character beyond U+FFFF, as two", Utf16(u"[W]\nk=\U0001F600\n", false), "[W]\nk=??\n",
       {{"text-not-ansi", 2}}, nullptr},
      {"an odd number of bytes", Utf16(u"[Workstation_001]\nBoot_1=c:\\a.exe\nBoot_2=x", false) + "y",
       "[Workstation_001]\nBoot_1=c:\\a.exe\nBoot_2=xy", {{"text-malformed", 3}}, nullptr},
      {"an odd number of bytes, big-endian", Utf16(u"[W]\nk=", true) + "v", "[W]\nk=v",
       {{"encoding-breaks-on-windows", 0}, {"text-malformed", 2}}, nullptr},
      {"half a surrogate pair, twice on a line and at the end",
       Utf16(u"[W]\nk=a\xDC00\xD800" u"b\nj=\xD800", false), "[W]\nk=a??b\nj=?",
       {{"text-malformed", 2}, {"text-malformed", 3}}, nullptr},
      {"bytes that are no UTF-8", "\xEF\xBB\xBF[W]\nk=\xC3\xFFx\nj=\xE0\x80\x80\xED\xA0\x80\xF4\x90\x80\x80\n",
       "[W]\nk=??x\nj=??????????\n", {{"encoding-breaks-on-windows", 1}, {"text-malformed", 2}, {"text-malformed", 3}},
       nullptr},
      {"UTF-8 cut inside its last character", "\xEF\xBB\xBF[W]\nk=\xF0\x9F\x98", "[W]\nk=?",
       {{"encoding-breaks-on-windows", 1}, {"text-malformed", 2}}, nullptr},
      {"a mark and nothing else", "\xFF\xFE", "", {}, nullptr},
      {"a mark and one byte", "\xFE\xFF[", "[", {{"encoding-breaks-on-windows", 0}, {"text-malformed", 1}}, nullptr},
      {"no mark: the bytes as they stand", std::string("[W]\nk=\xE9\0x\n", 10), std::string("[W]\nk=\xE9\0x\n", 10),
       {}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ListText read = ReadListText(c.bytes, c.narrow);
    EXPECT_EQ(read.text, c.text);
    Found found;
    for (const CheckWarning& w : read.warnings) {
      found.emplace_back(w.code, w.line);
      EXPECT_FALSE(w.text.empty());
    }
    EXPECT_EQ(found, c.found);
  }

  // Read so, the list's warnings stand on their lines: nothing before the
  // section, the pause on line 6, in the text and in JSON.
  FakeEnvironment env;
  env.text = ReadListText(Utf16(list, false)).text;
  env.programs = {"|c:\\a.exe"};
  EXPECT_TRUE(CheckFileText(env.text).empty());
  const CheckReport r = CheckSection(env, "c:\\cfg\\LAUNCH.INI", "Workstation_001");
  ASSERT_EQ(r.found.size(), 1u);
  EXPECT_EQ(r.found[0].code + ":" + std::to_string(r.found[0].line), "pause-capped:6");
  EXPECT_EQ(LineOf(env.text, "Workstation_001", "Boot_1"), 5);
  EXPECT_NE(JsonReport("c:\\cfg\\LAUNCH.INI", "c:\\cfg", "HOST", {}, {{"Workstation_001", r}})
                .find("{\"line\":6,\"code\":\"pause-capped\""),
            std::string::npos);

  // The texts say what happened, and where it matters.
  const ListText jorgRead = ReadListText(Utf16(jorg, false));
  ASSERT_EQ(jorgRead.warnings.size(), 1u);
  EXPECT_EQ(jorgRead.warnings[0].text,
            "characters on this line are not in the ANSI code page: the launcher reads it as "
            "\"Boot_1=c:\\J?rg\\a.exe\"");
  const ListText marked = ReadListText("\xEF\xBB\xBF" + ascii);
  ASSERT_EQ(marked.warnings.size(), 1u);
  EXPECT_NE(marked.warnings[0].text.find("line 1 is read with the mark in front, so [Workstation_001] "
                                         "is no section there"), std::string::npos) << marked.warnings[0].text;
  const ListText odd = ReadListText(Utf16(u"[W]\n", false) + "k");
  ASSERT_EQ(odd.warnings.size(), 1u);
  EXPECT_EQ(odd.warnings[0].text, "the file ends in half a UTF-16 character (an odd number of bytes): it "
                                  "was cut short, or is not UTF-16 throughout");

  // The section each line stands in: a workstation's own warnings.
  const std::string sections = "k=1\n[A]\nx=1\n\n[B]\ny=2\n";
  const struct {
    int line;
    const char* section;
  } at[] = {{0, ""}, {1, ""}, {2, "A"}, {3, "A"}, {4, "A"}, {5, "B"}, {6, "B"}, {99, "B"}};
  for (const auto& a : at) EXPECT_EQ(SectionAt(sections, a.line), a.section) << a.line;
}

// The checker's text and JSON for the sample installation's list and the
// pitfalls list, as the command prints them, against the copy kept beside
// this test: a change of wording is made there on purpose (run with
// TRELM_PIN_WRITE=1 to write it), never by accident.
TEST(LaunchCheck, TheTextAndJsonOfTheSampleListsArePinned) {
  std::ifstream sample(TRELM_SAMPLE_DIR "/LAUNCH.INI", std::ios::binary);
  ASSERT_TRUE(sample) << TRELM_SAMPLE_DIR;
  const std::string sampleText((std::istreambuf_iterator<char>(sample)), std::istreambuf_iterator<char>());
  const struct {
    const char* path;
    std::string text;
  } lists[] = {{"c:\\trelm\\config\\LAUNCH.INI", ReadListText(sampleText).text},
               {"c:\\cfg\\LAUNCH.INI", kPitfalls}};
  std::string printed;
  for (const auto& list : lists) {
    FakeEnvironment env;
    env.text = list.text;
    env.programs = {"|c:\\trelm\\orm.exe", "c:\\trelm|ready.exe", "|c:\\trelm\\bin\\orm.exe",
                    "c:\\trelm\\bin|appready.exe"};
    env.directories = {"c:\\trelm", "c:\\trelm\\bin"};
    std::vector<std::string> names;
    std::istringstream in(list.text);
    for (std::string line; std::getline(in, line);) {
      if (line.size() > 2 && line[0] == '[') names.push_back(line.substr(1, line.find(']') - 1));
    }
    std::vector<std::pair<std::string, CheckReport>> sections;
    for (const std::string& name : WorkstationSections(names)) {
      sections.emplace_back(name, CheckSection(env, list.path, name));
      for (const std::string& line : sections.back().second.lines) printed += line + "\n";
    }
    printed += JsonReport(list.path, "", "HOST", CheckFileText(list.text), sections) + "\n";
  }
  const std::string pinned = TRELM_PIN_DIR "/launchcheck.txt";
  if (std::getenv("TRELM_PIN_WRITE") != nullptr) std::ofstream(pinned, std::ios::binary) << printed;
  std::ifstream kept(pinned, std::ios::binary);
  ASSERT_TRUE(kept) << pinned;
  EXPECT_EQ(printed, std::string((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>()));
}

}  // namespace
}  // namespace pellor
