// The debug log's line store, scroll state and drawing plan.
// Portable: no <windows.h>; the window in debug_window.cpp draws what
// PlanPaint returns.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

namespace pellor {

class LineStore {
 public:
  static constexpr std::size_t kCapacity = 1000;

  // Adds a copy of text as the newest line; at capacity the oldest drops.
  void Add(const std::string& text);
  void Clear();

  std::size_t Count() const { return lines_.size(); }
  std::size_t Longest() const { return longest_; }
  // Line by age: 0 is the newest.
  const std::string& Line(std::size_t index) const { return lines_[index]; }

 private:
  std::deque<std::string> lines_;  // newest first
  std::size_t longest_ = 0;        // never decreases
};

struct DebugMetrics {
  int lineHeight = 1;
  int charWidth = 1;
  int clientWidth = 0;
  int clientHeight = 0;
};

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

  void SetMetrics(int lineHeight, int charWidth);
  void SetClientSize(int width, int height);
  const DebugMetrics& Metrics() const { return metrics_; }

  int VerticalMax() const;
  int HorizontalMax() const;
  int VerticalPos() const { return vpos_; }
  int HorizontalPos() const { return hpos_; }
  int CharsPerRow() const;
  // Clamps both positions into their current ranges.
  void ClampPositions();

  // Recomputes the ranges, then lists the rows to draw, newest at the bottom.
  std::vector<PaintRow> PlanPaint();

  const LineStore& Store() const { return store_; }

 private:
  LineStore store_;
  DebugMetrics metrics_;
  int vpos_ = 0;
  int hpos_ = 0;
};

}  // namespace pellor
