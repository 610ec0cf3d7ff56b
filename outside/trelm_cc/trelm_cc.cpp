// Our TRELM_CC.DLL: loading it registers the button class Velk_CC_Button.
//   Push button (style value 1): a raised grey button whose caption is split
//   into two lines at '|'; a click (or BM_CLICK) sends WM_COMMAND with the
//   control's id to the parent, as a standard push button does.
//   Indicator (style value 8): a lamp. The text "/__2B__" switches it to the
//   enabled state (green), "/__1B__" to the disabled state (dark red); any
//   other text becomes the caption shown on the lamp.
#include <windows.h>

#include <cstring>

namespace {

constexpr char kClass[] = "Velk_CC_Button";
constexpr LONG kIndicator = 8;
// Window property names for the per-control state.
constexpr char kPressed[] = "VelkPressed";
constexpr char kState[] = "VelkState";
constexpr char kFont[] = "VelkFont";

HINSTANCE g_module = nullptr;

bool IsIndicator(HWND window) { return (GetWindowLongA(window, GWL_STYLE) & 0x0F) == kIndicator; }

void Notify(HWND window) {
  HWND parent = GetParent(window);
  const int id = GetDlgCtrlID(window);
  SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(window));
}

void Paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  RECT r;
  GetClientRect(window, &r);
  char text[128] = "";
  GetWindowTextA(window, text, sizeof text);
  HFONT font = static_cast<HFONT>(GetPropA(window, kFont));
  HGDIOBJ oldFont = SelectObject(dc, font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);

  if (IsIndicator(window)) {
    const int state = static_cast<int>(reinterpret_cast<INT_PTR>(GetPropA(window, kState)));
    COLORREF face = state == 2 ? RGB(0, 176, 0) : state == 1 ? RGB(128, 0, 0) : RGB(128, 128, 128);
    HBRUSH brush = CreateSolidBrush(face);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT);
    SetTextColor(dc, state == 2 ? RGB(0, 0, 0) : RGB(255, 255, 255));
    DrawTextA(dc, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  } else {
    const bool pressed = GetPropA(window, kPressed) != nullptr;
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(dc, &r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    SetTextColor(dc, IsWindowEnabled(window) ? RGB(0, 0, 0) : RGB(128, 128, 128));
    // Two lines, split at the first '|'.
    char* bar = std::strchr(text, '|');
    RECT area = r;
    if (pressed) OffsetRect(&area, 1, 1);
    if (bar == nullptr) {
      DrawTextA(dc, text, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    } else {
      *bar = '\0';
      RECT top = area;
      RECT bottom = area;
      top.bottom = (area.top + area.bottom) / 2;
      bottom.top = top.bottom;
      DrawTextA(dc, text, -1, &top, DT_CENTER | DT_BOTTOM | DT_SINGLELINE);
      DrawTextA(dc, bar + 1, -1, &bottom, DT_CENTER | DT_TOP | DT_SINGLELINE);
    }
  }
  SelectObject(dc, oldFont);
  EndPaint(window, &ps);
}

LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT: {
      const char* text = reinterpret_cast<const char*>(lParam);
      if (text != nullptr && (std::strcmp(text, "/__2B__") == 0 || std::strcmp(text, "/__1B__") == 0)) {
        SetPropA(window, kState, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(text[3] - '0')));
        InvalidateRect(window, nullptr, FALSE);
        return TRUE;
      }
      LRESULT result = DefWindowProcA(window, message, wParam, lParam);
      InvalidateRect(window, nullptr, FALSE);
      return result;
    }
    case WM_SETFONT:
      SetPropA(window, kFont, reinterpret_cast<HANDLE>(wParam));
      if (LOWORD(lParam)) InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(GetPropA(window, kFont));
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_LBUTTONDOWN:
      if (IsIndicator(window)) return 0;
      SetPropA(window, kPressed, reinterpret_cast<HANDLE>(1));
      SetCapture(window);
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_LBUTTONUP: {
      if (GetPropA(window, kPressed) == nullptr) return 0;
      RemovePropA(window, kPressed);
      ReleaseCapture();
      InvalidateRect(window, nullptr, FALSE);
      RECT r;
      GetClientRect(window, &r);
      POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (PtInRect(&r, p)) Notify(window);
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (RemovePropA(window, kPressed) != nullptr) InvalidateRect(window, nullptr, FALSE);
      return 0;
    case BM_CLICK:
      if (!IsIndicator(window) && IsWindowEnabled(window)) Notify(window);
      return 0;
    case WM_DESTROY:
      RemovePropA(window, kPressed);
      RemovePropA(window, kState);
      RemovePropA(window, kFont);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = module;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    // Global: dialogs created with the program's instance find it.
    wc.style = CS_GLOBALCLASS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = ButtonProc;
    wc.hInstance = module;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kClass;
    RegisterClassExA(&wc);
  } else if (reason == DLL_PROCESS_DETACH) {
    UnregisterClassA(kClass, g_module);
  }
  return TRUE;
}
