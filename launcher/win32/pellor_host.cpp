#include "win32/pellor_host.h"

#include <direct.h>

#include <string>

#include "config_lookup.h"

namespace pellor {

static_assert(kMbYesNoCancel == MB_YESNOCANCEL && kMbIconQuestion == MB_ICONQUESTION &&
                  kMbDefButton2 == MB_DEFBUTTON2 && kMbIconError == MB_ICONERROR &&
                  kMbOk == MB_OK,
              "message box flags");
static_assert(kIdYes == IDYES && kIdNo == IDNO && kIdCancel == IDCANCEL, "answers");
static_assert(kSwShowNormal == SW_SHOWNORMAL && kEwxLogoff == EWX_LOGOFF, "flags");
static_assert(kWmClose == WM_CLOSE && kMsgAskClosedown == WM_USER + 1300 &&
                  kMsgFindOrmAlt == WM_USER + 1007 && kMsgOrmWindow == WM_USER + 1008 &&
                  kMsgOrmClientLeaving == WM_USER + 1010 &&
                  kMsgOrmRegisterClient == WM_USER + 1030 && kMsgOrmClosing == WM_USER + 1151,
              "message numbers");
#if !defined(_WIN64)
static_assert(sizeof(STARTUPINFOA) == 68, "STARTUPINFOA of 32-bit Windows");
#endif

void Win32Host::LookupConfigPath(char* out, std::size_t size) {
  trelm::launcher_form::LookupConfigPath(out, size);
}

void Win32Host::ArmTimer(unsigned id, unsigned ms) { SetTimer(main_, id, ms, nullptr); }

void Win32Host::KillTimer(unsigned id) { ::KillTimer(main_, id); }

void Win32Host::Send(WindowHandle window, unsigned message, std::uintptr_t wParam,
                     std::intptr_t lParam) {
  // A window that has gone makes the send fail silently.
  SendMessageA(reinterpret_cast<HWND>(window), message, wParam, lParam);
}

namespace {
struct EnumSend {
  unsigned message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
};

BOOL CALLBACK SendToTopLevel(HWND window, LPARAM data) {
  const auto* send = reinterpret_cast<const EnumSend*>(data);
  SendMessageA(window, send->message, send->wParam, send->lParam);
  return TRUE;
}
}  // namespace

void Win32Host::Broadcast(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  if (message >= WM_USER && message < 0xC000) {
    // Windows does not broadcast messages of the private range (WM_USER to
    // 0xBFFF) to HWND_BROADCAST: such a query would reach nobody. It is
    // sent to every top-level window in turn instead, synchronously, as a
    // broadcast would be.
    EnumSend send{message, wParam, lParam};
    EnumWindows(SendToTopLevel, reinterpret_cast<LPARAM>(&send));
    return;
  }
  SendMessageA(HWND_BROADCAST, message, wParam, lParam);
}

void Win32Host::PostToMain(unsigned message) { PostMessageA(main_, message, 0, 0); }

namespace {
// "CreateProcess failed with error 2: <the system's text>", the text's
// line end taken off.
std::string StartFailure(DWORD error) {
  char text[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                 sizeof text, nullptr);
  std::string reason = "CreateProcess failed with error " + std::to_string(error);
  std::string said = text;
  while (!said.empty() && (said.back() == '\r' || said.back() == '\n' || said.back() == ' ')) {
    said.pop_back();
  }
  if (!said.empty()) reason += ": " + said;
  return reason;
}
}  // namespace

bool Win32Host::StartProgram(const char* commandLine, int showState, std::string& reason) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showState);
  PROCESS_INFORMATION process{};
  std::string line(commandLine);  // CreateProcessA may write into it
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE,
                      CREATE_DEFAULT_ERROR_MODE | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr,
                      &startup, &process)) {
    reason = StartFailure(GetLastError());
    return false;
  }
  WaitForInputIdle(process.hProcess, 30000);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return true;
}

void Win32Host::ChangeDirectory(const char* path) {
  // _chdir also sets the current directory of the path's drive; a failure
  // is ignored.
  _chdir(path);
}

void Win32Host::ArrangeIconicWindows() { ::ArrangeIconicWindows(GetDesktopWindow()); }

int Win32Host::ShowMessageBox(WindowHandle owner, const char* text, const char* caption,
                              unsigned flags) {
  return MessageBoxA(reinterpret_cast<HWND>(owner), text, caption, flags);
}

void Win32Host::EndWindowsSession(unsigned flags, unsigned reason) { ExitWindowsEx(flags, reason); }

void Win32Host::OpenDebugWindow() { debug_.Create(instance_); }

void Win32Host::DebugLogAdd(const char* text) { debug_.Add(text); }

void Win32Host::DestroyDebugWindow() { debug_.Destroy(); }

void Win32Host::DestroyMainWindow() {
  if (main_ != nullptr) DestroyWindow(main_);
}

void Win32Host::PostQuit(int exitCode) { PostQuitMessage(exitCode); }

}  // namespace pellor
