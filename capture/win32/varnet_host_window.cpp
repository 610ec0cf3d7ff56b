// The main window: its creation and window procedure, title, menu check
// marks, timers, boxes, and its message queue (the posted analysis steps,
// the delayed flush, the completions taken at the close).
#include "win32/varnet_host.h"

namespace varnet {

void Win32Host::SetTitle(const char* text) {
  if (main_ != nullptr) SetWindowTextA(main_, text);
}

void Win32Host::CheckMenuItem(unsigned id, bool checked) {
  if (main_ == nullptr) return;
  ::CheckMenuItem(GetMenu(main_), id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void Win32Host::SetTimer(unsigned id, unsigned ms) {
  if (main_ != nullptr) ::SetTimer(main_, id, ms, nullptr);
}
void Win32Host::KillTimer(unsigned id) {
  if (main_ != nullptr) ::KillTimer(main_, id);
}

void Win32Host::ShowError(const char* text) { MessageBoxA(nullptr, text, "! Error !", MB_OK); }
void Win32Host::ShowWindowError(const char* text) {
  MessageBoxA(main_, text, "! Error !", MB_OK);
}

void Win32Host::PostQuit(int exitCode) { PostQuitMessage(exitCode); }

bool Win32Host::DelayFlush(unsigned ms) {
  return main_ != nullptr && ::SetTimer(main_, kTimerFlush, ms, nullptr) != 0;
}

bool Win32Host::MessagesWaiting() {
  return (HIWORD(GetQueueStatus(QS_POSTMESSAGE)) & QS_POSTMESSAGE) != 0;
}

void Win32Host::TakeWaitingCompletions() {
  if (main_ == nullptr || app_ == nullptr) return;
  MSG msg;
  while (PeekMessageA(&msg, main_, kNetCompletionMessage, kNetCompletionMessage, PM_REMOVE)) {
    app_->OnNetCompletion(static_cast<unsigned>(msg.wParam),
                          reinterpret_cast<NetRequest>(msg.lParam));
  }
}

void Win32Host::PostAnalyseStep() {
  if (main_ != nullptr) PostMessageA(main_, kAnalyseMessage, 0, 0);
}

bool Win32Host::CreateMainWindow(Varnet& app) {
  app_ = &app;
  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = MainProc;
  wc.hInstance = instance_;
  wc.hIcon = LoadIconA(instance_, "VARNET");
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = CreateSolidBrush(kBackground);
  wc.lpszMenuName = "MainMenu";
  wc.lpszClassName = "V3VARNET";
  if (RegisterClassA(&wc) == 0) return false;

  main_ = CreateWindowExA(0, "V3VARNET", "Please wait...", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance_,
                          nullptr);
  if (main_ == nullptr) return false;
  font_ = CreateFontA(16, 8, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, FIXED_PITCH, "System");
  UpdateMetrics();
  ShowWindow(main_, SW_SHOWNORMAL);
  app.OnWindowCreated();
  UpdateWindow(main_);
  return true;
}

LRESULT CALLBACK Win32Host::MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Win32Host* self = current_;
  if (self == nullptr || self->app_ == nullptr) {
    return DefWindowProcA(window, message, wParam, lParam);
  }
  Varnet& app = *self->app_;
  switch (message) {
    case WM_SIZE:
      if (self->main_ == nullptr) self->main_ = window;
      self->display_.SetClientSize(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_PAINT:
      if (self->main_ != window) break;
      self->Paint();
      return 0;
    case WM_CLOSE:
      app.CloseProgram();
      return 0;
    case WM_CHAR:
      app.OnChar(static_cast<unsigned>(wParam));
      return 0;
    case WM_COMMAND:
      app.OnCommand(wParam);
      return 0;
    case WM_TIMER:
      if (wParam == kRefreshTimer) {
        self->OnRefreshTimer();
      } else {
        app.OnTimer(static_cast<unsigned>(wParam));
      }
      return 0;
    case WM_VSCROLL:
      self->VerticalScroll(LOWORD(wParam));
      return 0;
    case WM_HSCROLL:
      self->HorizontalScroll(LOWORD(wParam), static_cast<short>(HIWORD(wParam)));
      return 0;
    case WM_LBUTTONDOWN:
      app.OnLeftButton();
      return 0;
    case kAnalyseMessage:
      app.AnalyseStep();
      return 0;
    case kNetCompletionMessage:
      app.OnNetCompletion(static_cast<unsigned>(wParam), reinterpret_cast<NetRequest>(lParam));
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace varnet
