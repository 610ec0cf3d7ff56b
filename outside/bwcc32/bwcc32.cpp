// Our bwcc32.dll: the Borland dialog class and the two controls the capture
// tool's dialogs name. BWCCRegister registers them as global classes,
// superclassing the standard dialog and button classes:
//   BORDLG    a dialog class (the dialog manager's own procedure), grey face;
//   BorShade  style 1: a sunken panel; style 2: an etched line;
//   BorCheck  a check box (a standard button with its own class name).
#include <windows.h>

namespace {

HINSTANCE g_module = nullptr;
WNDPROC g_buttonProc = nullptr;

LRESULT CALLBACK ShadeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCHITTEST:
      return HTTRANSPARENT;  // clicks reach whatever lies on the panel
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      RECT r;
      GetClientRect(window, &r);
      const LONG kind = GetWindowLongA(window, GWL_STYLE) & 0x0F;
      if (kind == 2) {
        // A separator line across the middle of the control.
        RECT line = r;
        line.top = (r.top + r.bottom) / 2 - 1;
        line.bottom = line.top + 2;
        DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
      } else {
        FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
        DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
      }
      EndPaint(window, &ps);
      return 0;
    }
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

LRESULT CALLBACK CheckProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcA(g_buttonProc, window, message, wParam, lParam);
}

bool Register(WNDCLASSEXA& wc, const char* name) {
  wc.cbSize = sizeof wc;
  wc.lpszClassName = name;
  wc.hInstance = g_module;
  // Global: dialogs created with the program's instance find them.
  wc.style |= CS_GLOBALCLASS;
  return RegisterClassExA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = module;
  return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI BWCCRegister(HINSTANCE) {
  bool ok = true;

  WNDCLASSEXA dialog{};
  dialog.cbSize = sizeof dialog;
  if (GetClassInfoExA(nullptr, MAKEINTATOM(0x8002), &dialog)) {  // the dialog class
    dialog.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    ok = Register(dialog, "BORDLG") && ok;
  } else {
    ok = false;
  }

  WNDCLASSEXA shade{};
  shade.lpfnWndProc = ShadeProc;
  shade.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  shade.style = CS_HREDRAW | CS_VREDRAW;
  ok = Register(shade, "BorShade") && ok;

  WNDCLASSEXA check{};
  check.cbSize = sizeof check;
  if (GetClassInfoExA(nullptr, "BUTTON", &check)) {
    g_buttonProc = check.lpfnWndProc;
    check.lpfnWndProc = CheckProc;
    ok = Register(check, "BorCheck") && ok;
  } else {
    ok = false;
  }
  return ok ? TRUE : FALSE;
}
