// The debug log's lines, scroll state and drawing plan, on the toolset's
// shared text view. Portable: no <windows.h>; the window in
// debug_window.cpp draws what PlanPaint returns.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "text_view.h"

namespace pellor {

using trelm::LineStore;

// One drawn row: text at x, y, exactly as many characters as a row holds.
struct PaintRow {
  int x;
  int y;
  std::string text;
};

// What an addition needs redrawn.
enum class AddEffect { ScrollOneLine, RedrawAll };

class DebugLog {
 public:
  static constexpr std::size_t kDrawnCharacters = 255;

  AddEffect Add(const std::string& text);
  // Adds count lines of a single blank (the window adds 99 when it opens
  // and 199 on a right-click, which clears the view).
  void AddBlanks(int count);

  // Both recompute the ranges.
  void SetMetrics(int lineHeight, int charWidth);
  void SetClientSize(int width, int height);
  const trelm::TextView& View() const { return view_; }

  // The ranges for the lines held now.
  int VerticalMax() const { return view_.LiveBottom(); }
  int HorizontalMax() const { return view_.LiveHorizontalLimit(); }
  int VerticalPos() const { return view_.ViewPos(); }
  int HorizontalPos() const { return view_.HorizontalPos(); }
  int CharsPerRow() const { return view_.Columns() + 1; }

  // Recomputes the ranges, then lists the rows to draw, newest at the bottom.
  std::vector<PaintRow> PlanPaint();

  const LineStore& Store() const { return view_.Store(); }

 private:
  trelm::TextView view_;
};

}  // namespace pellor
