// The launcher's logic: start-up steps, the main window's messages, the
// launch sequencer and the ORM link, with what goes wrong reported to the
// event log. Portable: everything it needs from Windows goes through
// LauncherHost, which the program implements with the real calls and tests
// replace where a test must not really act.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/launch_list.h"
#include "core/launcher_state.h"
#include "core/pellor_events.h"
#include "event_report.h"
#include "profile_access.h"

namespace pellor {

// What the launcher does to the workstation: where the installation is,
// the main window's timers, the programs it starts, the current directory
// and the desktop.
class LaunchActions {
 public:
  virtual ~LaunchActions() = default;
  // Installation lookup (launcher form).
  virtual void LookupConfigPath(char* out, std::size_t size) = 0;
  // Window timers of the main window; arming an armed timer restarts it.
  virtual void ArmTimer(unsigned id, unsigned ms) = 0;
  virtual void KillTimer(unsigned id) = 0;
  // Programs, directories and the desktop. StartProgram is false when the
  // program could not be started, with the reason in words.
  virtual bool StartProgram(const char* commandLine, int showState, std::string& reason) = 0;
  virtual void ChangeDirectory(const char* path) = 0;
  virtual void ArrangeIconicWindows() = 0;
};

// What the operator and other programs see of the launcher: window
// messages, boxes, the log-off, the debug log window and the program's end.
class LauncherScreen {
 public:
  virtual ~LauncherScreen() = default;
  virtual void Send(WindowHandle window, unsigned message, std::uintptr_t wParam,
                    std::intptr_t lParam) = 0;
  virtual void Broadcast(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
  virtual void PostToMain(unsigned message) = 0;
  virtual int ShowMessageBox(WindowHandle owner, const char* text, const char* caption,
                             unsigned flags) = 0;
  virtual void EndWindowsSession(unsigned flags, unsigned reason) = 0;
  virtual void OpenDebugWindow() = 0;
  virtual void DebugLogAdd(const char* text) = 0;
  virtual void DestroyDebugWindow() = 0;
  virtual void DestroyMainWindow() = 0;
  virtual void PostQuit(int exitCode) = 0;
};

// The program's host, and the tests' fake: profiles, actions, screen and
// the event log.
class LauncherHost : public trelm::ProfileAccess,
                     public LaunchActions,
                     public LauncherScreen,
                     public trelm::EventReport {};

// One entry as the sequencer takes it.
struct StepEntry {
  char key[24];
  std::string text;  // after comment cutting and the drive prefix rule
  EntryKind kind;
  bool prefixed = false;  // the drive prefix rule put the start drive in front
};

class Launcher {
 public:
  Launcher(trelm::ProfileAccess& profiles, LaunchActions& actions, LauncherScreen& screen,
           trelm::EventReport& events)
      : profiles_(profiles), actions_(actions), screen_(screen), events_(events) {}
  explicit Launcher(LauncherHost& host) : Launcher(host, host, host, host) {}
  // A check of a launch list: the launcher's own steps, with nothing shown,
  // sent or reported.
  Launcher(trelm::ProfileAccess& profiles, LaunchActions& actions);

  const LauncherState& State() const { return state_; }

  // Start-up, in the order the program runs them.
  void ScanCommandLine(const char* commandLine);
  // Finds the workstation number (from the command line or ORM.INI) and
  // forms the section name; false after the workstation error was shown.
  bool FindWorkstation();
  void LocateLaunchFile();
  void ReadSettings();
  // Whether ORM runs now, kept as the state at start.
  bool DetectOrm();
  // The launch-list checker's start, in place of the start-up above: the
  // file name, its location, the section and its settings.
  void PrepareCheck(const char* fileName, const char* section);

  // Main window messages.
  void OnCreate(WindowHandle mainWindow);
  void OnClose();
  void OnAskClosedown();
  void OnTimer(unsigned id);
  void OnAppReady();
  void OnOrmWindow(WindowHandle ormWindow);
  void OnOrmClosing();

  void Shutdown();
  bool Ended() const { return ended_; }

  // Every launcher line goes through here; nothing is recorded unless
  // DebugMode is set.
  void LogLine(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

  // Reads entry "Boot_%d" of index from the launch list file, as one step
  // takes it. Exposed for tests.
  StepEntry ReadEntry(std::int32_t index);

 private:
  void CloseHandshake();
  void Step();
  // Starts an entry's program; a start that fails is reported.
  void StartEntry(const StepEntry& entry, const std::string& commandLine);
  void EndOfList();
  void WriteTemplate(const char* file);
  void LeavingNotice();
  // "%s\%s" of the current configuration directory and launchFileName.
  void JoinLaunchFile(char* out, std::size_t size);
  void LaunchListPath(char* out, std::size_t size);
  std::int32_t ReadSetting(const Setting& setting);

  trelm::ProfileAccess& profiles_;
  LaunchActions& actions_;
  LauncherScreen& screen_;
  PellorEvents events_;
  LauncherState state_;
  bool ended_ = false;
};

}  // namespace pellor
