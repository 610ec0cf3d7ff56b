// The main window's display: lines added and cleared, the refresh that
// keeps the screen from holding up reception, painting and scrolling.
#include "win32/varnet_host.h"

#include <cstdio>
#include <vector>

#include "font_metrics.h"

namespace varnet {

void Win32Host::AddLine(const char* text) {
  if (screenLog_ != nullptr) {
    std::fprintf(screenLog_, "%s\n", text);
    std::fflush(screenLog_);
  }
  const AddEffect effect = display_.AddLine(text, app_ != nullptr && app_->ConfigOpen());
  if (main_ == nullptr) return;
  const DWORD now = GetTickCount();
  if (redrawAll_ || refreshArmed_) {
    // A redraw is on its way. But WM_PAINT and WM_TIMER wait behind posted
    // messages: while completions keep coming (a backlog being taken) the
    // screen is drawn here, at most every kBusyPaintMs.
    if (now - lastPaint_ >= kBusyPaintMs) {
      if (refreshArmed_) ::KillTimer(main_, kRefreshTimer);
      refreshArmed_ = false;
      RedrawAll();
      UpdateWindow(main_);
    }
    return;
  }
  const DWORD sincePaint = now - lastPaint_;
  if (sincePaint < kRefreshMs) {
    // Lines come faster than the screen refreshes: one redraw at the end of
    // the interval shows them all, so the screen never holds up reception.
    refreshArmed_ = true;
    ::SetTimer(main_, kRefreshTimer, kRefreshMs - sincePaint, nullptr);
    return;
  }
  if (effect.scroll) {
    // Only the area below the device filter dialog moves; the dialog stays.
    const int lineHeight = display_.View().LineHeight();
    RECT client{0, 0, display_.View().ClientWidth(), display_.View().ClientHeight()};
    RECT area = client;
    area.top = effect.scrollTop;
    if (effect.scrollTop != 0 && filter_ != nullptr) {
      // The dialog is taller than 332 pixels when its font is larger: the
      // lines move only below it.
      RECT dialog;
      GetWindowRect(filter_, &dialog);
      POINT bottom{dialog.left, dialog.bottom};
      ScreenToClient(main_, &bottom);
      if (bottom.y > area.top) area.top = bottom.y;
    }
    ScrollWindow(main_, 0, -lineHeight, &area, &area);
    RECT strip = client;
    strip.top = client.bottom - lineHeight;
    InvalidateRect(main_, &strip, TRUE);
    // The screen moved now: the next lines within the interval wait for
    // one redraw instead of scrolling each.
    lastPaint_ = now;
  } else {
    RedrawAll();
  }
}

void Win32Host::RedrawAll() {
  InvalidateRect(main_, nullptr, TRUE);
  redrawAll_ = true;
}

void Win32Host::OnRefreshTimer() {
  ::KillTimer(main_, kRefreshTimer);
  refreshArmed_ = false;
  RedrawAll();
}

void Win32Host::ClearDisplay() {
  if (screenLog_ != nullptr) {
    std::fputs("\f\n", screenLog_);
    std::fflush(screenLog_);
  }
  display_.Clear();
  if (main_ != nullptr) RedrawAll();
}

void Win32Host::DeleteDisplayFont() {
  if (font_ != nullptr) DeleteObject(font_);
  font_ = nullptr;
}

void Win32Host::UpdateMetrics() {
  int lineHeight = 0;
  int charWidth = 0;
  trelm::MeasureFont(main_, font_, &lineHeight, &charWidth);
  display_.SetMetrics(lineHeight, charWidth);
}

void Win32Host::ApplyScrollBars(const ScrollBars& bars) {
  if (barsShown_ && bars.verticalMax == bars_.verticalMax && bars.verticalPos == bars_.verticalPos &&
      bars.horizontalMax == bars_.horizontalMax && bars.horizontalPos == bars_.horizontalPos) {
    return;  // nothing changed
  }
  bars_ = bars;
  barsShown_ = true;
  SetScrollRange(main_, SB_VERT, 0, bars.verticalMax, FALSE);
  SetScrollPos(main_, SB_VERT, bars.verticalPos, TRUE);
  SetScrollRange(main_, SB_HORZ, 0, bars.horizontalMax, FALSE);
  SetScrollPos(main_, SB_HORZ, bars.horizontalPos, TRUE);
}

void Win32Host::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(main_, &ps);
  SetBkColor(dc, kBackground);
  SetTextColor(dc, kText);
  HGDIOBJ old = font_ != nullptr ? SelectObject(dc, font_) : nullptr;
  const std::vector<DisplayRow> rows = display_.PlanPaint();
  const trelm::LineStore& store = display_.Store();
  for (const DisplayRow& row : rows) {
    const char* text = store.Lock(row.index);
    if (text == nullptr) continue;
    TextOutA(dc, row.x, row.y, text, lstrlenA(text));
    store.Unlock(row.index);
  }
  if (old != nullptr) SelectObject(dc, old);
  EndPaint(main_, &ps);
  lastPaint_ = GetTickCount();
  redrawAll_ = false;
  // The bars last: a bar that appears or goes changes the client area, and
  // the size change that follows repaints with the new rows.
  ApplyScrollBars(display_.Recompute());
}

void Win32Host::VerticalScroll(int code) {
  const int step = display_.VerticalScroll(code);
  if (step == 0) return;
  ScrollWindow(main_, 0, -step * display_.View().LineHeight(), nullptr, nullptr);
  SetScrollPos(main_, SB_VERT, display_.View().ViewPos(), TRUE);
  bars_.verticalPos = display_.View().ViewPos();
  UpdateWindow(main_);
}

void Win32Host::HorizontalScroll(int code, int thumb) {
  const int step = display_.HorizontalScroll(code, thumb);
  if (step == 0) return;
  ScrollWindow(main_, -step * display_.View().CharWidth(), 0, nullptr, nullptr);
  SetScrollPos(main_, SB_HORZ, display_.View().HorizontalPos(), TRUE);
  bars_.horizontalPos = display_.View().HorizontalPos();
  UpdateWindow(main_);
}

}  // namespace varnet
