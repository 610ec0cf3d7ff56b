// launchcheck.exe under Wine on the demo's sample installation: the plan
// of workstation 1, no warning, exit code 0; and an unreadable file.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "e2e_harness.h"

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
  Program check("cmd /c \"\"" + Built("TRELM_LAUNCHCHECK") + "\" c:\\trelm\\config\\LAUNCH.INI 1 > " +
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

}  // namespace
