// Pellor, the workstation launcher: entry point and main window.
#include <windows.h>

#include "core/launcher.h"
#include "pellor_events.h"  // windmc's, from win32/pellor_events.mc
#include "win32/pellor_host.h"
#include "win32_profile.h"

// The message table and the portable IDs are one list.
static_assert(PELLOR_ENTRY_NOT_STARTED == pellor::kEventEntryNotStarted.id &&
                  PELLOR_ORM_NOT_CLOSED == pellor::kEventOrmNotClosed.id &&
                  PELLOR_APP_READY_TIMED_OUT == pellor::kEventAppReadyTimedOut.id &&
                  PELLOR_APP_READY_GAVE_UP == pellor::kEventAppReadyGaveUp.id,
              "pellor_events.mc and core/pellor_events.h give the same IDs");

namespace pellor {
namespace {

Win32Host* g_host = nullptr;
Launcher* g_launcher = nullptr;
HINSTANCE g_instance = nullptr;

void PaintMain(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  if (IsIconic(window)) {
    HICON icon = LoadIconA(g_instance, kIconName);
    if (icon == nullptr) {
      MessageBeep(0);
    } else {
      DrawIcon(dc, 2, 2, icon);
    }
  } else {
    // The launcher stays a minimised icon for its whole life.
    ShowWindow(window, SW_SHOWMINIMIZED);
    InvalidateRect(window, nullptr, TRUE);
  }
  EndPaint(window, &ps);
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      g_host->SetMainWindow(window);
      g_launcher->OnCreate(reinterpret_cast<WindowHandle>(window));
      return 0;
    case WM_PAINT:
      PaintMain(window);
      return 1;
    case WM_QUERYOPEN:
      // The icon is never restored: opening it asks the close question.
      PostMessageA(window, kMsgAskClosedown, 0, 0);
      return 0;
    case WM_CLOSE:
      g_launcher->OnClose();
      return 0;
    case WM_TIMER:
      g_launcher->OnTimer(static_cast<unsigned>(wParam));
      return 0;
    case kMsgAskClosedown:
      g_launcher->OnAskClosedown();
      return 0;
    case kMsgOrmWindow:
      g_launcher->OnOrmWindow(static_cast<WindowHandle>(wParam));
      return 0;
    case kMsgOrmClosing:
      g_launcher->OnOrmClosing();
      return 0;
    case kMsgAppReady:
    case kMsgAppReadyAlt:
      g_launcher->OnAppReady();
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

bool RegisterMainClass(HINSTANCE instance) {
  WNDCLASSA wc{};
  wc.style = 0;
  wc.lpfnWndProc = MainProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, kIconName);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = kMainClass;
  return RegisterClassA(&wc) != 0;
}

}  // namespace
}  // namespace pellor

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  using namespace pellor;
  g_instance = instance;
  Win32Host host(instance);
  trelm::Win32Profiles profiles;
  Launcher launcher(profiles, host, host, host);
  g_host = &host;
  g_launcher = &launcher;

  launcher.ScanCommandLine(commandLine);
  if (!RegisterMainClass(instance)) return 0;
  if (!launcher.FindWorkstation()) return 0;
  launcher.LocateLaunchFile();
  launcher.ReadSettings();

  // The show state passed in is not used: the window is always an icon.
  HWND window = CreateWindowExA(0, kMainClass, kLauncherTitle, WS_MINIMIZE, 100, 100, 100, 20,
                                nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 0;
  launcher.DetectOrm();
  ShowWindow(window, SW_SHOWMINIMIZED);
  UpdateWindow(window);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  host.CloseEventLog();
  return 0;  // the launcher always ends with exit code 0
}
