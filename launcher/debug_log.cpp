#include "debug_log.h"

#include <algorithm>

namespace pellor {

void LineStore::Add(const std::string& text) {
  if (lines_.size() == kCapacity) lines_.pop_back();
  lines_.push_front(text);
  longest_ = std::max(longest_, text.size());
}

void LineStore::Clear() {
  lines_.clear();
  longest_ = 0;
}

void DebugLog::SetMetrics(int lineHeight, int charWidth) {
  // A font without metrics still gives a usable, if crude, layout.
  metrics_.lineHeight = lineHeight > 0 ? lineHeight : 1;
  metrics_.charWidth = charWidth > 0 ? charWidth : 1;
  ClampPositions();
}

void DebugLog::SetClientSize(int width, int height) {
  metrics_.clientWidth = width;
  metrics_.clientHeight = height;
  ClampPositions();
}

int DebugLog::VerticalMax() const {
  int rows = metrics_.clientHeight / metrics_.lineHeight;
  return std::max(0, static_cast<int>(store_.Count()) - rows);
}

int DebugLog::HorizontalMax() const {
  int columns = metrics_.clientWidth / metrics_.charWidth;
  return std::max(0, static_cast<int>(store_.Longest()) - columns);
}

int DebugLog::CharsPerRow() const {
  return metrics_.clientWidth / metrics_.charWidth + 1;
}

void DebugLog::ClampPositions() {
  vpos_ = std::clamp(vpos_, 0, VerticalMax());
  hpos_ = std::clamp(hpos_, 0, HorizontalMax());
}

AddEffect DebugLog::Add(const std::string& text) {
  const bool atNewest = vpos_ == VerticalMax();
  store_.Add(text);
  // Every new line brings the view back to the newest lines.
  vpos_ = VerticalMax();
  return atNewest ? AddEffect::ScrollOneLine : AddEffect::RedrawAll;
}

void DebugLog::AddBlanks(int count) {
  for (int i = 0; i < count; ++i) Add(" ");
}

std::vector<PaintRow> DebugLog::PlanPaint() {
  ClampPositions();
  std::vector<PaintRow> rows;
  // A row is padded with blanks to the drawable width; more characters than
  // that are never drawn, however wide the window.
  const std::size_t perRow =
      std::min<std::size_t>(static_cast<std::size_t>(std::max(CharsPerRow(), 0)),
                            kDrawnCharacters);
  const int x = -hpos_ * metrics_.charWidth;
  int y = metrics_.clientHeight - metrics_.lineHeight;
  for (std::size_t index = static_cast<std::size_t>(VerticalMax() - vpos_);
       index < store_.Count() && y > -metrics_.lineHeight; ++index) {
    std::string cell(kDrawnCharacters, ' ');
    const std::string& line = store_.Line(index);
    cell.replace(0, std::min(line.size(), kDrawnCharacters), line, 0, kDrawnCharacters);
    cell.resize(perRow);
    rows.push_back(PaintRow{x, y, cell});
    y -= metrics_.lineHeight;
  }
  return rows;
}

}  // namespace pellor
