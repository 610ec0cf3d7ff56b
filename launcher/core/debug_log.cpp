#include "core/debug_log.h"

#include <algorithm>

namespace pellor {

void DebugLog::SetMetrics(int lineHeight, int charWidth) {
  view_.SetMetrics(lineHeight, charWidth);
  view_.Recompute();
}

void DebugLog::SetClientSize(int width, int height) {
  view_.SetClientSize(width, height);
  view_.Recompute();
}

AddEffect DebugLog::Add(const std::string& text) {
  const bool atNewest = view_.ViewPos() == view_.LiveBottom();
  view_.Store().Add(text.c_str());
  // Every new line brings the view back to the newest lines.
  view_.FollowNewest();
  return atNewest ? AddEffect::ScrollOneLine : AddEffect::RedrawAll;
}

void DebugLog::AddBlanks(int count) {
  for (int i = 0; i < count; ++i) Add(" ");
}

std::vector<PaintRow> DebugLog::PlanPaint() {
  view_.Recompute();
  std::vector<PaintRow> rows;
  // A row is padded with blanks to the drawable width; more characters than
  // that are never drawn, however wide the window.
  const std::size_t perRow =
      std::min<std::size_t>(static_cast<std::size_t>(std::max(CharsPerRow(), 0)),
                            kDrawnCharacters);
  const int lineHeight = view_.LineHeight();
  const int x = -view_.HorizontalPos() * view_.CharWidth();
  int y = view_.ClientHeight() - lineHeight;
  const LineStore& store = view_.Store();
  for (std::size_t index = static_cast<std::size_t>(view_.Bottom() - view_.ViewPos());
       index < store.Count() && y > -lineHeight; ++index) {
    std::string cell(kDrawnCharacters, ' ');
    const std::string line = store.Text(index);
    cell.replace(0, std::min(line.size(), kDrawnCharacters), line, 0, kDrawnCharacters);
    cell.resize(perRow);
    rows.push_back(PaintRow{x, y, cell});
    y -= lineHeight;
  }
  return rows;
}

}  // namespace pellor
