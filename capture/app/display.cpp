#include "app/display.h"

#include <algorithm>

namespace varnet {

void Display::SetClientSize(int width, int height) {
  view_.SetClientSize(width, height);
  Recompute();
}

ScrollBars Display::Recompute() {
  view_.Recompute();
  // The vertical bar stops ten lines short of the bottom; an empty range
  // (ten lines or fewer to scroll) offers no scrolling.
  return ScrollBars{std::max(0, view_.Bottom() - 10), view_.ViewPos(), view_.HorizontalLimit(),
                    view_.HorizontalPos()};
}

AddEffect Display::AddLine(const char* text, bool configOpen) {
  // Against the bottom stored by the last paint: of several lines added
  // between two paints only the first scrolls, the others redraw all.
  const bool follows = view_.ViewPos() == view_.Bottom();
  view_.Store().Add(text);
  view_.FollowNewest();
  return AddEffect{follows, configOpen ? kConfigScrollTop : 0};
}

std::vector<DisplayRow> Display::PlanPaint() {
  view_.Recompute();
  std::vector<DisplayRow> rows;
  const trelm::LineStore& store = view_.Store();
  if (store.Count() == 0) return rows;
  const int lineHeight = view_.LineHeight();
  const int x = -view_.HorizontalPos() * view_.CharWidth();
  int y = view_.ClientHeight() - lineHeight;
  for (std::size_t i = static_cast<std::size_t>(view_.Bottom() - view_.ViewPos());
       i < store.Count() && y >= -lineHeight; ++i) {
    const char* text = store.Lock(i);
    if (text == nullptr) continue;  // an empty slot takes no row
    store.Unlock(i);
    rows.push_back(DisplayRow{x, y, i});
    y -= lineHeight;
  }
  return rows;
}

int Display::VerticalScroll(int code) {
  const int rows = view_.Rows();
  int step = 0;
  switch (code) {
    case kLineUp: step = -1; break;
    case kLineDown: step = 1; break;
    case kPageUp: step = rows == 0 ? -1 : -rows; break;
    case kPageDown: step = rows == 0 ? 1 : rows; break;
    default: break;  // thumb, top, bottom, end of scroll: nothing
  }
  return view_.ScrollBy(step);
}

int Display::HorizontalScroll(int code, int thumb) {
  const int columns = view_.Columns();
  int step = 0;
  switch (code) {
    case kLineUp: step = -1; break;
    case kLineDown: step = 1; break;
    case kPageUp: step = columns == 0 ? -1 : -columns; break;
    case kPageDown: step = columns == 0 ? 1 : columns; break;
    case kThumbPosition:
    case kThumbTrack: step = thumb - view_.HorizontalPos(); break;
    default: break;
  }
  return view_.ScrollAcross(step);
}

}  // namespace varnet
