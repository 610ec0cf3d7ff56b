// The capture tool's scrolling text display: the line store, the ranges,
// what an added line needs redrawn, the paint plan and the vertical scroll
// steps. Portable: no <windows.h>; the main window (win32/varnet_host.cpp) draws.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "text_view.h"

namespace varnet {

// Scroll bar codes of WM_VSCROLL, as Windows numbers them.
enum ScrollCode : int {
  kLineUp = 0,
  kLineDown = 1,
  kPageUp = 2,
  kPageDown = 3,
  kThumbPosition = 4,
  kThumbTrack = 5,
};

// Top of the scrolled area while the device filter dialog is open.
constexpr int kConfigScrollTop = 332;

struct AddEffect {
  bool scroll;    // scroll the area from scrollTop down by one line
  int scrollTop;  // and invalidate the bottom strip; otherwise redraw all
};

struct DisplayRow {
  int x;
  int y;
  std::size_t index;  // line index, 0 the newest
};

struct ScrollBars {
  int verticalMax;  // the vertical bar's range is 0..verticalMax
  int verticalPos;
  int horizontalMax;
  int horizontalPos;
};

class Display {
 public:
  explicit Display(trelm::LineMemory& memory = trelm::HeapLineMemory()) : view_(memory) {}

  void SetMetrics(int lineHeight, int charWidth) { view_.SetMetrics(lineHeight, charWidth); }
  // Stores the size and recomputes the ranges.
  void SetClientSize(int width, int height);
  AddEffect AddLine(const char* text, bool configOpen);
  void Clear() { view_.Store().Clear(); }
  // Recomputes the ranges (as every paint does) and gives the bars.
  ScrollBars Recompute();
  // Recomputes, then the rows to draw from the bottom row up; an empty slot
  // takes no row.
  std::vector<DisplayRow> PlanPaint();
  // The step taken for a WM_VSCROLL code (0: nothing to do).
  int VerticalScroll(int code);
  // The step taken for a WM_HSCROLL code; thumb is the position dragged to.
  int HorizontalScroll(int code, int thumb);

  const trelm::TextView& View() const { return view_; }
  const trelm::LineStore& Store() const { return view_.Store(); }

 private:
  trelm::TextView view_;
};

}  // namespace varnet
