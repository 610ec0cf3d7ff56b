// The launcher on the test host with Wine's real profile files: a launch
// list in a folder of the test's own, the program's start-up steps, and an
// ORM that answers the launcher's messages. Shared by the launcher's tests.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/launcher.h"
#include "fake_host.h"

namespace pellor::testing {

constexpr WindowHandle kMain = 0x0003004A;
constexpr WindowHandle kOrm = 0x00050066;

class ProfileHost : public FakeHost {
 public:
  std::string configDir;
  void LookupConfigPath(char* out, std::size_t size) override {
    lstrcpynA(out, configDir.c_str(), static_cast<int>(size));
  }
  std::size_t ProfileRead(const char* section, const char* key, const char* fallback,
                          char* out, std::size_t size, const char* file) override {
    return GetPrivateProfileStringA(section, key, fallback, out, static_cast<DWORD>(size), file);
  }
  void ProfileWrite(const char* section, const char* key, const char* value,
                    const char* file) override {
    WritePrivateProfileStringA(section, key, value, file);
  }
};

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    dir_ = std::string(temp) + "pellor_test_" + std::to_string(GetCurrentProcessId()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    CreateDirectoryA(dir_.c_str(), nullptr);
    DeleteFileA(LaunchFile().c_str());
    DeleteFileA(OrmIni().c_str());
    host_.configDir = dir_;
    host_.launcher = &launcher_;
  }
  void TearDown() override {
    DeleteFileA(LaunchFile().c_str());
    DeleteFileA(OrmIni().c_str());
    RemoveDirectoryA(dir_.c_str());
  }

  std::string LaunchFile() const { return dir_ + "\\LAUNCH.INI"; }
  std::string OrmIni() const { return dir_ + "\\ORM.INI"; }

  void Set(const char* key, const char* value, const char* section = "Workstation_007") {
    WritePrivateProfileStringA(section, key, value, LaunchFile().c_str());
  }
  std::string Get(const char* key, const char* section = "Workstation_007") const {
    char value[300];
    GetPrivateProfileStringA(section, key, "<absent>", value, sizeof value,
                             LaunchFile().c_str());
    return value;
  }
  // The section with debug on, QuitWhenDone as given and no ORM handshake.
  void List(std::vector<std::string> entries, bool quitWhenDone = true) {
    Set("DebugMode", "1");
    Set("QuitWhenDone", quitWhenDone ? "1" : "0");
    Set("CloseRunningORMandWait", "0");
    for (std::size_t i = 0; i < entries.size(); ++i) {
      Set(("Boot_" + std::to_string(i + 1)).c_str(), entries[i].c_str());
    }
  }

  // The program's start-up steps, as the entry point runs them.
  static bool StartUp(Launcher& launcher, const char* commandLine = "7 LAUNCH.INI") {
    launcher.ScanCommandLine(commandLine);
    if (!launcher.FindWorkstation()) return false;
    launcher.LocateLaunchFile();
    launcher.ReadSettings();
    launcher.OnCreate(kMain);
    launcher.DetectOrm();
    return true;
  }
  bool Start(const char* commandLine = "7 LAUNCH.INI") { return StartUp(launcher_, commandLine); }

  // ORM answering the given query while it handles it, and reporting that
  // it is closing while it handles WM_CLOSE when closes is set.
  void OrmRunning(unsigned answers = kMsgFindOrm, bool closes = true) {
    host_.onBroadcast = [this, answers](const FakeHost::Message& m) {
      if (m.message == answers) launcher_.OnOrmWindow(kOrm);
    };
    host_.onSend = [this, closes](const FakeHost::Message& m) {
      if (m.message == kWmClose && m.window == kOrm && closes) launcher_.OnOrmClosing();
    };
  }

  std::string dir_;
  ProfileHost host_;
  Launcher launcher_{host_};
};

}  // namespace pellor::testing
