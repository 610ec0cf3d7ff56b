// ORM, as far as the launcher relies on it: answers the two queries with
// MSG_ORM_WINDOW while it handles them, keeps registered clients, sends
// them MSG_ORM_CLOSING when it begins to close, and closes on WM_CLOSE.
//
//   orm.exe [/record:FILE] [/altonly] [/closedelay:MS] [/announce] [/lifetime:MS]
//           [/silentclose]
//
// /record:FILE   append every protocol message received, in order, to FILE
// /altonly       answer only the second query (MSG_FIND_ORM_ALT)
// /closedelay:MS close this long after WM_CLOSE (default 200)
// /announce      send MSG_ORM_WINDOW to a running launcher at start
// /lifetime:MS   end by itself after this long (tests stay bounded)
// /silentclose   close without telling the clients (an ORM that hangs in
//                its close, as far as the launcher can see)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "args.h"
#include "orm_messages.h"

namespace {

using namespace trelm;

constexpr UINT_PTR kCloseTimer = 1;
constexpr UINT_PTR kLifetimeTimer = 2;

struct Options {
  std::string record;
  bool altOnly = false;
  unsigned closeDelayMs = 200;
  bool announce = false;
  unsigned lifetimeMs = 0;
  bool silentClose = false;
};

Options g_options;
std::vector<HWND> g_clients;
std::deque<std::string> g_shown;  // the newest lines, drawn in the window
bool g_closing = false;

const char* MessageName(UINT message) {
  switch (message) {
    case kMsgFindOrm: return "MSG_FIND_ORM";
    case kMsgFindOrmAlt: return "MSG_FIND_ORM_ALT";
    case kMsgOrmRegisterClient: return "MSG_ORM_REGISTER_CLIENT";
    case kMsgOrmClientLeaving: return "MSG_ORM_CLIENT_LEAVING";
    case WM_CLOSE: return "WM_CLOSE";
    default: return nullptr;
  }
}

void Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const char* name = MessageName(message);
  char line[160];
  if (name != nullptr) {
    std::snprintf(line, sizeof line, "%s wParam=0x%08lX lParam=%ld", name,
                  static_cast<unsigned long>(wParam), static_cast<long>(lParam));
  } else {
    std::snprintf(line, sizeof line, "MSG 0x%04X wParam=0x%08lX lParam=%ld", message,
                  static_cast<unsigned long>(wParam), static_cast<long>(lParam));
  }
  if (!g_options.record.empty()) outside::AppendLine(g_options.record, line);
  g_shown.push_back(line);
  if (g_shown.size() > 12) g_shown.pop_front();
  InvalidateRect(window, nullptr, TRUE);
}

// Protocol messages, and anything else in the application ranges.
bool Recorded(UINT message) {
  return MessageName(message) != nullptr || (message >= WM_USER && message < 0xC000) ||
         message == kMsgAppReady || message == kMsgAppReadyAlt;
}

void BeginClose(HWND window) {
  if (g_closing) return;
  g_closing = true;
  if (!g_options.silentClose) {
    for (HWND client : g_clients) SendMessageA(client, kMsgOrmClosing, 0, 0);
  }
  SetTimer(window, kCloseTimer, g_options.closeDelayMs, nullptr);
}

void Paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  int y = 4;
  std::string head = g_closing ? "ORM closing..." : "ORM running";
  TextOutA(dc, 4, y, head.c_str(), static_cast<int>(head.size()));
  for (const std::string& line : g_shown) {
    y += 16;
    TextOutA(dc, 4, y, line.c_str(), static_cast<int>(line.size()));
  }
  EndPaint(window, &ps);
}

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (Recorded(message)) Record(window, message, wParam, lParam);
  switch (message) {
    case kMsgFindOrm:
      if (!g_options.altOnly) {
        SendMessageA(reinterpret_cast<HWND>(wParam), kMsgOrmWindow,
                     reinterpret_cast<WPARAM>(window), 0);
      }
      return 0;
    case kMsgFindOrmAlt:
      SendMessageA(reinterpret_cast<HWND>(wParam), kMsgOrmWindow,
                   reinterpret_cast<WPARAM>(window), 0);
      return 0;
    case kMsgOrmRegisterClient: {
      // Clients give the low 16 bits of their window handle; Windows takes
      // such a handle as the full one.
      HWND client = reinterpret_cast<HWND>(static_cast<UINT_PTR>(wParam));
      if (std::find(g_clients.begin(), g_clients.end(), client) == g_clients.end()) {
        g_clients.push_back(client);
      }
      return 0;
    }
    case kMsgOrmClientLeaving: {
      HWND client = reinterpret_cast<HWND>(static_cast<UINT_PTR>(wParam));
      g_clients.erase(std::remove(g_clients.begin(), g_clients.end(), client), g_clients.end());
      return 0;
    }
    case WM_CLOSE:
      BeginClose(window);
      return 0;
    case WM_TIMER:
      KillTimer(window, wParam);
      if (wParam == kLifetimeTimer) {
        BeginClose(window);
      } else if (wParam == kCloseTimer) {
        DestroyWindow(window);
      }
      return 0;
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void ParseOptions(const char* commandLine) {
  for (const std::string& arg : outside::SplitArgs(commandLine)) {
    auto value = [&](const char* name) -> const char* {
      size_t n = std::strlen(name);
      return _strnicmp(arg.c_str(), name, n) == 0 ? arg.c_str() + n : nullptr;
    };
    if (const char* v = value("/record:")) g_options.record = v;
    else if (value("/altonly")) g_options.altOnly = true;
    else if (const char* v = value("/closedelay:")) g_options.closeDelayMs = std::strtoul(v, nullptr, 10);
    else if (value("/announce")) g_options.announce = true;
    else if (const char* v = value("/lifetime:")) g_options.lifetimeMs = std::strtoul(v, nullptr, 10);
    else if (value("/silentclose")) g_options.silentClose = true;
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
  ParseOptions(commandLine);
  WNDCLASSA wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = "ORM";
  if (!RegisterClassA(&wc)) return 1;
  HWND window = CreateWindowExA(0, "ORM", "ORM", WS_OVERLAPPEDWINDOW, 440, 0, 420, 240, nullptr,
                                nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, show == SW_HIDE ? SW_SHOWNOACTIVATE : show);
  UpdateWindow(window);
  if (g_options.lifetimeMs > 0) SetTimer(window, kLifetimeTimer, g_options.lifetimeMs, nullptr);
  if (g_options.announce) {
    HWND launcher = FindWindowA(kLauncherClass, nullptr);
    if (launcher != nullptr) {
      SendMessageA(launcher, kMsgOrmWindow, reinterpret_cast<WPARAM>(window), 0);
    }
  }
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
