// The launcher's host on Windows: every call is the real Win32 one.
// Tests derive from it and replace what a test must not really do.
#pragma once

#include <windows.h>

#include "core/launcher.h"
#include "win32/debug_window.h"
#include "win32_event_log.h"

namespace pellor {

// Profiles go straight to trelm::Win32Profiles.
class Win32Host : public LaunchActions, public LauncherScreen, public trelm::EventReport {
 public:
  explicit Win32Host(HINSTANCE instance) : instance_(instance) {}

  void SetMainWindow(HWND window) { main_ = window; }
  HWND MainWindow() const { return main_; }
  DebugWindow& Debug() { return debug_; }

  void LookupConfigPath(char* out, std::size_t size) override;
  void ArmTimer(unsigned id, unsigned ms) override;
  void KillTimer(unsigned id) override;
  void Send(WindowHandle window, unsigned message, std::uintptr_t wParam,
            std::intptr_t lParam) override;
  void Broadcast(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
  void PostToMain(unsigned message) override;
  bool StartProgram(const char* commandLine, int showState, std::string& reason) override;
  void ChangeDirectory(const char* path) override;
  void ArrangeIconicWindows() override;
  int ShowMessageBox(WindowHandle owner, const char* text, const char* caption,
                     unsigned flags) override;
  void EndWindowsSession(unsigned flags, unsigned reason) override;
  void OpenDebugWindow() override;
  void DebugLogAdd(const char* text) override;
  void DestroyDebugWindow() override;
  void DestroyMainWindow() override;
  void PostQuit(int exitCode) override;
  // The Application event log, source "Pellor".
  void Report(trelm::EventType type, unsigned id, const std::vector<std::string>& strings) override {
    eventLog_.Report(type, id, strings);
  }
  // The program's end: what waits goes to the event log, for a bounded time.
  void CloseEventLog() { eventLog_.Close(); }

 private:
  HINSTANCE instance_;
  HWND main_ = nullptr;
  DebugWindow debug_;
  trelm::Win32EventLog eventLog_{"Pellor"};
};

}  // namespace pellor
