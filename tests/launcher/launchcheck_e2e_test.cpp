// launchcheck.exe under Wine on the demo's sample installation: the plan
// of workstation 1, no warning, exit code 0; and an unreadable file.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "e2e_harness.h"
#include "trelm_version.h"

namespace {

using namespace trelm_e2e;

TEST(LaunchcheckEndToEnd, TheSampleInstallationHasNothingToWarnAbout) {
  const std::string sample = Built("TRELM_SAMPLE_DIR");
  ASSERT_FALSE(sample.empty()) << "TRELM_SAMPLE_DIR names tools/sample";
  for (const char* dir : {"c:\\trelm", "c:\\trelm\\bin", "c:\\trelm\\config", "c:\\trelm\\demo"}) {
    CreateDirectoryA(dir, nullptr);
  }
  ASSERT_TRUE(CopyFileA((sample + "\\LAUNCH.INI").c_str(), "c:\\trelm\\config\\LAUNCH.INI", FALSE));
  ASSERT_TRUE(CopyFileA(Built("TRELM_ORM").c_str(), "c:\\trelm\\bin\\orm.exe", FALSE));
  ASSERT_TRUE(CopyFileA(Built("TRELM_APPREADY").c_str(), "c:\\trelm\\bin\\appready.exe", FALSE));
  const std::string before = ReadFile("c:\\trelm\\config\\LAUNCH.INI");
  const char* out = "c:\\trelm\\demo\\launchcheck.txt";
  Program check("cmd /c \"\"" + Built("TRELM_LAUNCHCHECK") + "\" --config-dir c:\\trelm\\config c:\\trelm\\config\\LAUNCH.INI 1 > " +
                out + "\"");
  EXPECT_EQ(check.Wait(30000), 0);
  const std::string text = ReadFile(out);
  EXPECT_EQ(text.find("  warning:"), std::string::npos) << text;
  EXPECT_NE(text.find("[Workstation_001]"), std::string::npos) << text;
  EXPECT_NE(text.find("  Boot_4=c:<directory> c:\\trelm\\bin  [directory]"), std::string::npos) << text;
  EXPECT_NE(text.find("  Boot_8: the list ends here"), std::string::npos) << text;
  EXPECT_NE(text.find("0 warnings"), std::string::npos);
  EXPECT_EQ(ReadFile("c:\\trelm\\config\\LAUNCH.INI"), before);  // nothing written

  Program missing("\"" + Built("TRELM_LAUNCHCHECK") + "\" c:\\trelm\\config\\NO_SUCH.INI");
  EXPECT_EQ(missing.Wait(30000), 2);
}

// Runs launchcheck with the arguments; its exit code, and what it wrote to
// standard output and standard error.
int Check(const std::string& args, std::string* out, std::string* err) {
  const char* o = "c:\\trelm\\demo\\lc_out.txt";
  const char* e = "c:\\trelm\\demo\\lc_err.txt";
  Program check("cmd /c \"\"" + Built("TRELM_LAUNCHCHECK") + "\" " + args + " > " + o + " 2> " + e +
                "\"");
  const int code = static_cast<int>(check.Wait(30000));
  *out = ReadFile(o);
  *err = ReadFile(e);
  return code;
}

TEST(LaunchcheckEndToEnd, OptionsSectionsLinesProgramsWithBlanksAndJson) {
  for (const char* dir : {"c:\\trelm", "c:\\trelm\\demo", "c:\\lcstage", "c:\\Program Files\\Lc App"}) {
    CreateDirectoryA(dir, nullptr);
  }
  ASSERT_TRUE(CopyFileA(Built("TRELM_APPREADY").c_str(), "c:\\Program Files\\Lc App\\lcapp.exe", FALSE));
  const std::string list = "c:\\lcstage\\LAUNCH.INI";
  const std::string text =
      "[Workstation_012]\r\nDebugMode=0\r\nQuitWhenDone=0\r\nCloseRunningORMandWait=1\r\n"
      "Boot_1=c:\\Program Files\\Lc App\\lcapp.exe /x\r\n"
      "Boot_2=c:\\Program Files\\Lc App\\gone.exe\r\n"
      "[Workstation_12]\r\nBoot_1=c:\\x.exe\r\n";
  HANDLE h = CreateFileA(list.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(h);

  std::string out, err;
  EXPECT_EQ(Check("--help", &out, &err), 0);
  EXPECT_EQ(out.find("usage: launchcheck [--config-dir DIR] [--json] [LAUNCH_LIST [WORKSTATION]]"), 0u);
  EXPECT_EQ(Check("--version", &out, &err), 0);
  EXPECT_EQ(out, "launchcheck " TRELM_VERSION " (Trelm workstation toolset)\r\n");
  // Usage errors, before the file is read.
  EXPECT_EQ(Check("--frob " + list, &out, &err), 2);
  EXPECT_EQ(err.find("launchcheck: unknown option --frob\r\nusage:"), 0u) << err;
  EXPECT_EQ(Check(list + " twelve", &out, &err), 2);
  EXPECT_EQ(err.find("launchcheck: the workstation is a number, not 'twelve'"), 0u) << err;
  // A workstation the list has no section for: nothing was checked.
  EXPECT_EQ(Check(list + " 13", &out, &err), 2);
  EXPECT_EQ(err, "launchcheck: " + list + " has no [Workstation_013]: nothing was checked\r\n");

  // The whole list: the section never read, each warning on its line, and
  // the program with blanks in its path found as starting it would.
  EXPECT_EQ(Check("--config-dir c:\\trelm\\config " + list, &out, &err), 1);
  EXPECT_NE(out.find("start drive c:, of the configuration directory c:\\trelm\\config\r\n"),
            std::string::npos) << out;
  EXPECT_NE(out.find("programs are looked up on this machine, "), std::string::npos);
  EXPECT_NE(out.find("warning: line 7: [Workstation_12] is never read: workstation 12 reads "
                     "[Workstation_012]\r\n"), std::string::npos) << out;
  EXPECT_NE(out.find("  warning: line 6: Boot_2: the program \"c:\\Program\" does not exist, nor "
                     "does any longer name its blanks allow (up to \"c:\\Program Files\\Lc "
                     "App\\gone.exe\")\r\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("Boot_1: the program"), std::string::npos) << out;
  EXPECT_NE(out.find("\r\n2 warnings\r\n"), std::string::npos) << out;

  EXPECT_EQ(Check("--json --config-dir c:\\trelm\\config " + list + " 12", &out, &err), 1);
  EXPECT_EQ(out.find("{\"file\":\"c:\\\\lcstage\\\\LAUNCH.INI\",\"config_directory\":"), 0u) << out;
  EXPECT_NE(out.find("\"warnings\":[{\"line\":6,\"code\":\"program-not-found\",\"text\":\"Boot_2: the program"), std::string::npos);
  EXPECT_NE(out.find("],\"warnings\":1}\r\n"), std::string::npos) << out;
}

// A list with every entry Pellor reads otherwise than it looks, through
// Wine's own profile calls: each warning's code on its line in --json, the
// same warnings in the text report, and the section repeated printed once.
TEST(LaunchcheckEndToEnd, EveryMisreadEntryHasItsCodeAndLine) {
  for (const char* dir : {"c:\\trelm", "c:\\trelm\\demo", "c:\\lcstage"}) CreateDirectoryA(dir, nullptr);
  const std::string list = "c:\\lcstage\\MISREAD.INI";
  const std::string text =
      "Stray=1\r\n"                                               // 1
      "[Workstation_001]\r\n"                                     // 2
      "DebugMode=yes\r\n"                                         // 3
      "QuitWhenDon=1\r\n"                                         // 4
      "CloseRunningORMandWait=-1\r\n"                             // 5
      "Boot_1=<pause> 99999999999\r\n"                            // 6
      "Boot_2=<pause> -5\r\n"                                     // 7
      "Boot_3=<pause> 2.5\r\n"                                    // 8
      "Boot_01=c:\\x.exe\r\n"                                     // 9
      "Boot_0=c:\\x.exe\r\n"                                      // 10
      "just some text\r\n"                                        // 11
      "Boot_4=c:\\windows\\system32\\cmd.exe /c " + std::string(300, 'x') + "\r\n"  // 12
      "Boot_4=c:\\other.exe\r\n"                                  // 13
      "Boot_5=<directory> c:\\nowhere\r\n"                        // 14
      "[Workstation_001]\r\n"                                     // 15
      "Boot_6=c:\\never.exe\r\n"                                  // 16
      "[Workstation_-01]\r\n"                                     // 17
      "DebugMode=0\r\nQuitWhenDone=0\r\nCloseRunningORMandWait=0\r\n"  // 18-20
      "Boot_1=c:\\gone\\orm.exe [wait]\r\n";                      // 21
  HANDLE h = CreateFileA(list.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(h);

  std::string out, err;
  EXPECT_EQ(Check("--json --config-dir c:\\trelm\\config " + list, &out, &err), 1) << err;
  const struct {
    int line;
    const char* code;
  } expected[] = {
      {1, "key-before-section"},        {17, "section-command-line-only"},
      {3, "setting-not-a-number"},      {5, "setting-taken-as-missing"},
      {6, "pause-capped"},              {7, "pause-negative"},
      {8, "pause-extra-text"},          {12, "entry-cut"},
      {14, "directory-not-found"},      {4, "unknown-key"},
      {9, "boot-key-never-read"},       {10, "boot-key-never-read"},
      {11, "line-without-equals"},      {13, "key-repeated"},
      {15, "section-repeated"},         {21, "orm-entry-skipped"},
      {21, "program-not-found"},
  };
  std::size_t at = 0;
  for (const auto& e : expected) {
    const std::string item =
        "{\"line\":" + std::to_string(e.line) + ",\"code\":\"" + e.code + "\",";
    const std::size_t found = out.find(item, at);
    EXPECT_NE(found, std::string::npos) << item << " in order, in " << out;
    if (found != std::string::npos) at = found;
  }
  EXPECT_NE(out.find("],\"warnings\":17}\r\n"), std::string::npos) << out;
  // The repeated section is checked once; its second half is never read.
  EXPECT_EQ(out.find("\"section\":\"Workstation_001\""), out.rfind("\"section\":\"Workstation_001\""));
  EXPECT_EQ(out.find("never.exe\"  ["), std::string::npos) << out;
  // A setting written as -1 is not called missing; one really missing is.
  EXPECT_EQ(out.find("would write CloseRunningORMandWait"), std::string::npos) << out;
  EXPECT_NE(out.find("missing: the launcher would write QuitWhenDone=0"), std::string::npos) << out;

  EXPECT_EQ(Check("--config-dir c:\\trelm\\config " + list, &out, &err), 1) << err;
  EXPECT_NE(out.find("  warning: line 6: Boot_1 asks for 99999999999 seconds: the launcher pauses "
                     "2147483647 ms (about 24.9 days)"), std::string::npos) << out;
  EXPECT_NE(out.find("  warning: line 8: Boot_3 pauses 2 seconds, not \"2.5\""), std::string::npos);
  EXPECT_NE(out.find("\r\n17 warnings\r\n"), std::string::npos) << out;
  // One workstation given: its own note stays.
  EXPECT_EQ(Check(list + " -1", &out, &err), 1) << err;
  EXPECT_NE(out.find("warning: line 17: [Workstation_-01] is read only for -1 on the launcher's "
                     "command line"), std::string::npos) << out;
}

// A list saved as Notepad's "Unicode" (UTF-16 little-endian with its mark)
// or big-endian, read by Wine's own profile calls and by launchcheck alike:
// the warnings on their lines, no NUL in the report, a character outside the
// ANSI code page said as the launcher reads it.
TEST(LaunchcheckEndToEnd, AListInUtf16IsReadAsTheProfileCallsReadIt) {
  for (const char* dir : {"c:\\trelm", "c:\\trelm\\demo", "c:\\lcstage"}) CreateDirectoryA(dir, nullptr);
  const std::u16string list =
      u"[Workstation_001]\r\n"                         // 1
      u"DebugMode=0\r\nQuitWhenDone=0\r\n"             // 2-3
      u"CloseRunningORMandWait=1\r\n"                  // 4
      u"Boot_1=<pause> 99999999999\r\n"                // 5
      u"Boot_2=c:\\windows\\system32\\cmd.exe /c rem \u0101\u4E2D\r\n"  // 6
      u"; \u4E2D\u6587\r\n";                           // 7, a comment
  const struct {
    const char* what;
    bool bigEndian;
    const char* fileWarning;  // a warning on the whole file, or none
  } cases[] = {
      {"little-endian", false, nullptr},
      {"big-endian", true, "{\"line\":0,\"code\":\"encoding-breaks-on-windows\","},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = c.bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t u : list) {
      const char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
      bytes += c.bigEndian ? high : low;
      bytes += c.bigEndian ? low : high;
    }
    const std::string path = "c:\\lcstage\\UNICODE.INI";
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);

    std::string out, err;
    EXPECT_EQ(Check("--json --config-dir c:\\trelm\\config " + path, &out, &err), 1) << err;
    EXPECT_EQ(out.find('\0'), std::string::npos);
    EXPECT_EQ(out.find("key-before-section"), std::string::npos) << out;
    EXPECT_EQ(out.find("\"line\":0,\"code\":\"text-"), std::string::npos) << out;
    EXPECT_NE(out.find("{\"line\":5,\"code\":\"pause-capped\","), std::string::npos) << out;
    // Wine's calls narrow U+0101 to 'a' (best fit) and U+4E2D to '?'.
    EXPECT_NE(out.find("{\"line\":6,\"code\":\"text-not-ansi\",\"text\":\"characters on this line are not "
                       "in the ANSI code page: the launcher reads it as \\\"Boot_2=c:\\\\windows\\\\system32"
                       "\\\\cmd.exe /c rem a?\\\"\"}"), std::string::npos) << out;
    EXPECT_NE(out.find("  Boot_2=c:\\\\windows\\\\system32\\\\cmd.exe /c rem a?  [command]"), std::string::npos)
        << out;
    EXPECT_EQ(out.find("\"line\":7"), std::string::npos) << out;
    if (c.fileWarning != nullptr) {
      EXPECT_NE(out.find(c.fileWarning), std::string::npos) << out;
      EXPECT_NE(out.find("],\"warnings\":3}\r\n"), std::string::npos) << out;
    } else {
      EXPECT_NE(out.find("],\"warnings\":2}\r\n"), std::string::npos) << out;
    }
    // The text report: the same, a warning on the whole file without a line.
    EXPECT_EQ(Check("--config-dir c:\\trelm\\config " + path + " 1", &out, &err), 1) << err;
    EXPECT_NE(out.find("  warning: line 5: Boot_1 asks for 99999999999 seconds"), std::string::npos) << out;
    EXPECT_NE(out.find("warning: line 6: characters on this line are not in the ANSI code page"),
              std::string::npos) << out;
    EXPECT_EQ(out.find("line 0"), std::string::npos) << out;
    EXPECT_EQ(out.find("warning: the file is UTF-16 big-endian") != std::string::npos, c.bigEndian) << out;
  }
}

}  // namespace
