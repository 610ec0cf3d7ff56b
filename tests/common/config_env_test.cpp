// The capture tool form's environment rule.
#include <gtest/gtest.h>

#include <string>

#include "config_lookup.h"
#include "path_join.h"

namespace trelm {
namespace {

std::string Env(const char* root, const char* system, InstallKey key, std::size_t size = 512) {
  char out[512] = "unchanged";
  if (!EnvironmentInstallPath(root, system, key, out, size)) return "<bootstrap>";
  return out;
}

TEST(EnvironmentLookup, BothVariablesMakeTheBase) {
  EXPECT_EQ(Env("c:\\ctl", "sys1", InstallKey::ConfigPath), "c:\\ctl\\sys1\\config\\system");
  EXPECT_EQ(Env("c:\\ctl", "sys1", InstallKey::TempPath), "c:\\ctl\\sys1\\config\\system");
  EXPECT_EQ(Env("c:\\ctl", "sys1", InstallKey::SystemPath), "c:\\ctl\\sys1\\windows\\lib");
  EXPECT_EQ(Env("c:\\ctl", "sys1", InstallKey::ConfigPath, 9), "c:\\ctl\\s");  // cut to buffer
}

TEST(EnvironmentLookup, OneVariableOrTooLongUsesTheBootstrapFile) {
  EXPECT_EQ(Env("c:\\ctl", nullptr, InstallKey::ConfigPath), "<bootstrap>");
  EXPECT_EQ(Env(nullptr, "sys1", InstallKey::ConfigPath), "<bootstrap>");
  const std::string half(256, 'r');
  EXPECT_EQ(Env(half.c_str(), std::string(257, 's').c_str(), InstallKey::ConfigPath),
            "<bootstrap>");  // lengths add up to more than 512
  // The base fits, but not with the subdirectory.
  EXPECT_EQ(Env(std::string(497, 'r').c_str(), "s", InstallKey::ConfigPath), "<bootstrap>");
  EXPECT_NE(Env(std::string(497, 'r').c_str(), "s", InstallKey::SystemPath), "<bootstrap>");
}

TEST(PathJoin, OneBackslashAndCut) {
  char out[16];
  JoinPath("c:\\x", "ORM.INI", out, sizeof out);
  EXPECT_STREQ(out, "c:\\x\\ORM.INI");
  JoinPath("c:\\x\\", "a", out, sizeof out);
  EXPECT_STREQ(out, "c:\\x\\\\a");  // a trailing backslash is kept
  JoinPath("c:\\longer\\dir", "LAUNCH.INI", out, sizeof out);
  EXPECT_STREQ(out, "c:\\longer\\dir\\L");
}

}  // namespace
}  // namespace trelm
