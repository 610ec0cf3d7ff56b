#include "win32/debug_window.h"

#include "font_metrics.h"

namespace pellor {

namespace {
DebugWindow* g_window = nullptr;  // the one debug window of the process
constexpr int kOpeningBlanks = 99;
constexpr int kClearingBlanks = 199;
}  // namespace

bool DebugWindow::Create(HINSTANCE instance) {
  g_window = this;
  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  // The program carries no icon of this name, so the default icon shows.
  wc.hIcon = LoadIconA(instance, "Debug");
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
  wc.lpszClassName = "Debug";
  RegisterClassA(&wc);

  font_ = CreateFontA(6, 6, 0, 0, 400, FALSE, FALSE, FALSE, 0, OUT_DEFAULT_PRECIS,
                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH, "System");
  // A caption and no system menu: the user cannot close it.
  window_ = CreateWindowExA(0, "Debug", "Pellor Debug", WS_OVERLAPPED, 20, 0, 400, 300,
                            nullptr, nullptr, instance, nullptr);
  if (window_ == nullptr) return false;
  ShowWindow(window_, SW_SHOW);
  log_.AddBlanks(kOpeningBlanks);  // the first real line is drawn at the bottom
  UpdateWindow(window_);
  return true;
}

void DebugWindow::Destroy() {
  if (window_ == nullptr) return;
  HWND window = window_;
  window_ = nullptr;
  DestroyWindow(window);
  if (font_ != nullptr) {
    DeleteObject(font_);
    font_ = nullptr;
  }
}

void DebugWindow::UpdateMetrics() {
  int lineHeight = 0;
  int charWidth = 0;
  trelm::MeasureFont(window_, font_, &lineHeight, &charWidth);
  log_.SetMetrics(lineHeight, charWidth);
}

void DebugWindow::Add(const char* text) {
  const AddEffect effect = log_.Add(text);
  if (window_ == nullptr) return;
  RECT client;
  GetClientRect(window_, &client);
  if (effect == AddEffect::ScrollOneLine) {
    // Only the new bottom line is drawn; the rest is moved up.
    const int lineHeight = log_.View().LineHeight();
    ScrollWindow(window_, 0, -lineHeight, &client, &client);
    RECT strip = client;
    strip.top = client.bottom - lineHeight;
    InvalidateRect(window_, &strip, TRUE);
  } else {
    InvalidateRect(window_, nullptr, TRUE);
  }
}

void DebugWindow::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window_, &ps);
  SetBkColor(dc, RGB(0xC0, 0xC0, 0xC0));
  SetTextColor(dc, RGB(0, 0, 0));
  HGDIOBJ old = SelectObject(dc, font_);
  const std::vector<PaintRow> rows = log_.PlanPaint();
  SetScrollRange(window_, SB_VERT, 0, log_.VerticalMax(), FALSE);
  SetScrollPos(window_, SB_VERT, log_.VerticalPos(), TRUE);
  SetScrollRange(window_, SB_HORZ, 0, log_.HorizontalMax(), FALSE);
  SetScrollPos(window_, SB_HORZ, log_.HorizontalPos(), TRUE);
  for (const PaintRow& row : rows) {
    TextOutA(dc, row.x, row.y, row.text.data(), static_cast<int>(row.text.size()));
  }
  SelectObject(dc, old);
  EndPaint(window_, &ps);
}

LRESULT CALLBACK DebugWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DebugWindow* self = g_window;
  if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_CREATE:
      self->window_ = window;
      self->UpdateMetrics();
      return 0;
    case WM_SIZE:
      self->UpdateMetrics();
      self->log_.SetClientSize(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_PAINT:
      if (self->window_ == window) {
        self->Paint();
        return 0;
      }
      break;
    case WM_RBUTTONDOWN:
      self->log_.AddBlanks(kClearingBlanks);  // clears the view
      InvalidateRect(window, nullptr, TRUE);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace pellor
