// The debug log's line store, scroll ranges and drawing plan.
#include "core/debug_log.h"

#include <gtest/gtest.h>

namespace pellor {
namespace {

void MakeLog(DebugLog& log, int width, int height) {
  log.SetMetrics(10, 6);  // 10 pixels a line, 6 a character
  log.SetClientSize(width, height);
}

TEST(DebugLog, RangesFollowTheWindowSize) {
  DebugLog log;
  MakeLog(log, 60, 100);  // 10 rows, 10 columns
  for (int i = 0; i < 25; ++i) log.Add("0123456789ABCDEF");
  EXPECT_EQ(log.VerticalMax(), 15);
  EXPECT_EQ(log.HorizontalMax(), 6);
  EXPECT_EQ(log.VerticalPos(), 15);  // at the newest lines
  EXPECT_EQ(log.CharsPerRow(), 11);
  // A taller window: the ranges shrink and the position is clamped, so the
  // newest lines stay at the bottom.
  log.SetClientSize(120, 300);
  EXPECT_EQ(log.VerticalMax(), 0);
  EXPECT_EQ(log.HorizontalMax(), 0);
  EXPECT_EQ(log.VerticalPos(), 0);
  std::vector<PaintRow> rows = log.PlanPaint();
  ASSERT_EQ(rows.size(), 25u);
  EXPECT_EQ(rows[0].y, 290);
}

TEST(DebugLog, AdditionAtTheBottomScrollsOneLine) {
  DebugLog log;
  MakeLog(log, 60, 100);
  EXPECT_EQ(log.Add("first"), AddEffect::ScrollOneLine);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(log.Add("more"), AddEffect::ScrollOneLine);
  // A view at the newest lines stays there through any change of size.
  log.SetClientSize(60, 200);
  log.SetClientSize(60, 50);
  ASSERT_EQ(log.VerticalPos(), log.VerticalMax());
  EXPECT_EQ(log.Add("still"), AddEffect::ScrollOneLine);
}

TEST(DebugLog, ARowLostToTheHorizontalBarKeepsTheNewestLineInView) {
  DebugLog log;
  MakeLog(log, 60, 100);  // 10 rows
  for (int i = 0; i < 120; ++i) log.Add("line");
  log.Add("Delay = 5");
  log.SetClientSize(60, 88);  // the horizontal bar takes a row
  EXPECT_EQ(log.VerticalPos(), log.VerticalMax());
  std::vector<PaintRow> rows = log.PlanPaint();
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0].text.substr(0, 9), "Delay = 5");
  EXPECT_EQ(rows[0].y, 78);
}

TEST(DebugLog, RightClickBlanksPushEarlierLinesOutOfView) {
  DebugLog log;
  MakeLog(log, 60, 100);
  log.AddBlanks(99);
  log.Add("Pellor running...");
  log.AddBlanks(199);
  EXPECT_EQ(log.Store().Count(), 299u);
  EXPECT_EQ(log.Store().Text(199), "Pellor running...");  // still held
  for (const PaintRow& row : log.PlanPaint()) {
    EXPECT_EQ(row.text.find_first_not_of(' '), std::string::npos);
  }
}

TEST(DebugLog, PaintPlanNewestAtTheBottomAndCutAt255) {
  DebugLog log;
  MakeLog(log, 2400, 35);  // 3 rows, 401 characters a row
  log.Add("old");
  log.Add(std::string(300, 'L'));
  log.Add("new");
  std::vector<PaintRow> rows = log.PlanPaint();
  ASSERT_EQ(rows.size(), 3u);  // the last row is partly above the window
  EXPECT_EQ(rows[0].y, 25);
  EXPECT_EQ(rows[0].text.substr(0, 4), "new ");
  EXPECT_EQ(rows[1].y, 15);
  EXPECT_EQ(rows[1].text.size(), 255u);  // never more than 255 characters drawn
  EXPECT_EQ(rows[1].text, std::string(255, 'L'));
  EXPECT_EQ(rows[2].y, 5);
  EXPECT_EQ(rows[2].text.substr(0, 3), "old");
}

TEST(DebugLog, RowsArePaddedToTheRowWidth) {
  DebugLog log;
  MakeLog(log, 60, 20);
  log.Add("abc");
  std::vector<PaintRow> rows = log.PlanPaint();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].text, "abc        ");  // 11 characters a row
  EXPECT_EQ(rows[0].x, 0);
}

TEST(DebugLog, ZeroMetricsDoNotDivideByZero) {
  DebugLog log;
  log.SetMetrics(0, 0);
  log.SetClientSize(0, 0);
  log.Add("x");
  EXPECT_EQ(log.VerticalMax(), 1);
  EXPECT_TRUE(log.PlanPaint().empty());  // no room for a line
  log.SetClientSize(1, 1);
  EXPECT_EQ(log.PlanPaint().size(), 1u);
}

}  // namespace
}  // namespace pellor
