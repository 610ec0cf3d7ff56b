// The installation lookups against Wine's real profile functions and the
// real bootstrap file c:\trelm_config.ini of the test prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "config_lookup.h"

namespace trelm {
namespace {

std::string WindowsDirectory() {
  char dir[MAX_PATH];
  GetWindowsDirectoryA(dir, sizeof dir);
  return dir;
}

std::string Stored(const char* key) {
  char value[600];
  GetPrivateProfileStringA("Config", key, "<absent>", value, sizeof value, kBootstrapFile);
  return value;
}

void Store(const char* key, const char* value) {
  WritePrivateProfileStringA("Config", key, value, kBootstrapFile);
}

std::string Lookup(LookupForm form, InstallKey key, std::size_t size = 256) {
  char out[600];
  std::memset(out, '#', sizeof out);
  LookupInstallPath(form, key, out, size);
  return out;
}

class BootstrapFile : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteFileA(kBootstrapFile);
    SetEnvironmentVariableA("MC_ROOT", nullptr);
    SetEnvironmentVariableA("MC_SYSTEM", nullptr);
  }
  void TearDown() override { SetUp(); }
  static bool Exists() { return GetFileAttributesA(kBootstrapFile) != INVALID_FILE_ATTRIBUTES; }
};

TEST_F(BootstrapFile, MissingFileIsCreatedWithTheWindowsDirectory) {
  ASSERT_FALSE(Exists());
  EXPECT_EQ(Lookup(LookupForm::Launcher, InstallKey::ConfigPath), WindowsDirectory());
  EXPECT_TRUE(Exists());
  EXPECT_EQ(Stored("ConfigPath"), WindowsDirectory());
  EXPECT_EQ(Stored("SystemPath"), "<absent>");  // only the key asked for
  EXPECT_EQ(Lookup(LookupForm::Launcher, InstallKey::SystemPath), WindowsDirectory());
  EXPECT_EQ(Stored("SystemPath"), WindowsDirectory());
}

TEST_F(BootstrapFile, NoneIsMissingOnlyInCapitalsAndWhole) {
  Store("ConfigPath", "NONE");
  EXPECT_EQ(Lookup(LookupForm::Launcher, InstallKey::ConfigPath), WindowsDirectory());
  EXPECT_EQ(Stored("ConfigPath"), WindowsDirectory());

  Store("ConfigPath", "NONE");
  EXPECT_EQ(Lookup(LookupForm::CaptureTool, InstallKey::ConfigPath), WindowsDirectory());
  EXPECT_EQ(Stored("ConfigPath"), WindowsDirectory());

  Store("ConfigPath", "none");
  EXPECT_EQ(Lookup(LookupForm::Launcher, InstallKey::ConfigPath), "none");
  EXPECT_EQ(Stored("ConfigPath"), "none");
  Store("ConfigPath", "NONE\\x");
  EXPECT_EQ(Lookup(LookupForm::Launcher, InstallKey::ConfigPath), "NONE\\x");
}

TEST_F(BootstrapFile, EmptyValueIsAnEmptyDirectoryAndNotRewritten) {
  Store("ConfigPath", "");
  EXPECT_EQ(Lookup(LookupForm::Launcher, InstallKey::ConfigPath), "");
  EXPECT_EQ(Stored("ConfigPath"), "");
}

TEST_F(BootstrapFile, EachCallReadsTheFileAgain) {
  Store("ConfigPath", "c:\\first");
  EXPECT_EQ(Lookup(LookupForm::Launcher, InstallKey::ConfigPath), "c:\\first");
  Store("ConfigPath", "d:\\second");
  EXPECT_EQ(Lookup(LookupForm::Launcher, InstallKey::ConfigPath), "d:\\second");
}

TEST_F(BootstrapFile, TempPathDefaultDiffersByForm) {
  EXPECT_EQ(Lookup(LookupForm::Launcher, InstallKey::TempPath), "c:\\orm_temp");
  EXPECT_EQ(Stored("TempPath"), "c:\\orm_temp");
  DeleteFileA(kBootstrapFile);
  EXPECT_EQ(Lookup(LookupForm::CaptureTool, InstallKey::TempPath), WindowsDirectory());
  EXPECT_EQ(Stored("TempPath"), WindowsDirectory());
}

TEST_F(BootstrapFile, ValueLongerThanTheBufferIsCut) {
  Store("ConfigPath", "c:\\a\\rather\\long\\configuration\\directory");
  EXPECT_EQ(Lookup(LookupForm::Launcher, InstallKey::ConfigPath, 10), "c:\\a\\rath");
  // A default longer than the buffer is cut as well, and stored whole.
  DeleteFileA(kBootstrapFile);
  EXPECT_EQ(Lookup(LookupForm::Launcher, InstallKey::ConfigPath, 4),
            WindowsDirectory().substr(0, 3));
  EXPECT_EQ(Stored("ConfigPath"), WindowsDirectory());
  // 511 characters are read at most.
  Store("ConfigPath", std::string(550, 'p').c_str());
  EXPECT_EQ(Lookup(LookupForm::Launcher, InstallKey::ConfigPath, 600), std::string(511, 'p'));
}

TEST_F(BootstrapFile, CaptureFormTakesTheEnvironmentWhenBothAreSet) {
  SetEnvironmentVariableA("MC_ROOT", "c:\\ctl");
  SetEnvironmentVariableA("MC_SYSTEM", "sys1");
  EXPECT_EQ(Lookup(LookupForm::CaptureTool, InstallKey::ConfigPath),
            "c:\\ctl\\sys1\\config\\system");
  EXPECT_EQ(Lookup(LookupForm::CaptureTool, InstallKey::SystemPath),
            "c:\\ctl\\sys1\\windows\\lib");
  EXPECT_FALSE(Exists());  // the bootstrap file is not touched
  // The launcher form never looks at the environment.
  EXPECT_EQ(Lookup(LookupForm::Launcher, InstallKey::ConfigPath), WindowsDirectory());
}

TEST_F(BootstrapFile, CaptureFormWithOneVariableOrTooLongUsesTheFile) {
  Store("ConfigPath", "c:\\fromfile");
  SetEnvironmentVariableA("MC_ROOT", "c:\\ctl");
  EXPECT_EQ(Lookup(LookupForm::CaptureTool, InstallKey::ConfigPath), "c:\\fromfile");
  SetEnvironmentVariableA("MC_ROOT", nullptr);
  SetEnvironmentVariableA("MC_SYSTEM", "sys1");
  EXPECT_EQ(Lookup(LookupForm::CaptureTool, InstallKey::ConfigPath), "c:\\fromfile");
  SetEnvironmentVariableA("MC_ROOT", std::string(600, 'r').c_str());
  EXPECT_EQ(Lookup(LookupForm::CaptureTool, InstallKey::ConfigPath), "c:\\fromfile");
}

}  // namespace
}  // namespace trelm
