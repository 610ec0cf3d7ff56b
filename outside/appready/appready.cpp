// A launch list program that reports readiness the way the launcher
// expects: after a delay it sends the application-ready message to the
// launcher's window, found by its class "Pellor".
//
//   appready.exe DELAY_MS MODE [MARKER_FILE NAME]
//
// MODE  main   report with MSG_APPREADY (0xC009)
//       alt    report with MSG_APPREADY_ALT (0xC00B)
//       never  never report; end after the delay
//       none   only leave the marker line and end at once
// With a marker file, the program first appends "NAME MS DIRECTORY" to it
// (MS: milliseconds of the system clock, DIRECTORY: its current directory).
#include <windows.h>

#include <cstdlib>
#include <string>

#include "args.h"
#include "orm_messages.h"

namespace {

UINT g_report = 0;  // 0: never report

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER) {
    KillTimer(window, wParam);
    if (g_report != 0) {
      HWND launcher = FindWindowA(trelm::kLauncherClass, nullptr);
      if (launcher != nullptr) PostMessageA(launcher, g_report, 0, 0);
    }
    DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  std::vector<std::string> args = outside::SplitArgs(commandLine);
  unsigned delay = args.size() > 0 ? std::strtoul(args[0].c_str(), nullptr, 10) : 0;
  std::string mode = args.size() > 1 ? args[1] : "main";
  if (args.size() > 3) {
    char directory[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof directory, directory);
    outside::AppendLine(args[2], args[3] + " " + std::to_string(outside::NowMs()) + " " +
                                     directory);
  }
  if (mode == "none") return 0;
  if (mode == "main") g_report = trelm::kMsgAppReady;
  if (mode == "alt") g_report = trelm::kMsgAppReadyAlt;

  WNDCLASSA wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.lpszClassName = "AppReadyHelper";
  RegisterClassA(&wc);
  // A message-only window: the program waits in its message loop, so the
  // launcher's wait for input idle ends at once.
  HWND window = CreateWindowExA(0, "AppReadyHelper", "appready", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  SetTimer(window, 1, delay, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}
