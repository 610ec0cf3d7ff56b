// The debug log's line store, scroll ranges and drawing plan.
#include "debug_log.h"

#include <gtest/gtest.h>

namespace pellor {
namespace {

DebugLog MakeLog(int width, int height) {
  DebugLog log;
  log.SetMetrics(10, 6);  // 10 pixels a line, 6 a character
  log.SetClientSize(width, height);
  return log;
}

TEST(LineStore, DropsTheOldestAtCapacity) {
  LineStore store;
  for (int i = 1; i <= 1001; ++i) store.Add("line " + std::to_string(i));
  EXPECT_EQ(store.Count(), 1000u);
  EXPECT_EQ(store.Line(0), "line 1001");
  EXPECT_EQ(store.Line(999), "line 2");  // line 1 is gone
}

TEST(LineStore, LongestNeverDecreases) {
  LineStore store;
  store.Add(std::string(40, 'x'));
  store.Add("short");
  EXPECT_EQ(store.Longest(), 40u);
  for (int i = 0; i < 1000; ++i) store.Add("a");  // the long line has dropped out
  EXPECT_EQ(store.Longest(), 40u);
}

TEST(DebugLog, RangesFollowTheWindowSize) {
  DebugLog log = MakeLog(60, 100);  // 10 rows, 10 columns
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
  DebugLog log = MakeLog(60, 100);
  EXPECT_EQ(log.Add("first"), AddEffect::ScrollOneLine);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(log.Add("more"), AddEffect::ScrollOneLine);
  // A shrunk window leaves the view above the newest lines until it is
  // clamped; an addition then redraws all and returns to the bottom.
  log.SetClientSize(60, 200);
  log.SetClientSize(60, 50);
  ASSERT_NE(log.VerticalPos(), log.VerticalMax());
  EXPECT_EQ(log.Add("back"), AddEffect::RedrawAll);
  EXPECT_EQ(log.VerticalPos(), log.VerticalMax());
}

TEST(DebugLog, RightClickBlanksPushEarlierLinesOutOfView) {
  DebugLog log = MakeLog(60, 100);
  log.AddBlanks(99);
  log.Add("Pellor running...");
  log.AddBlanks(199);
  EXPECT_EQ(log.Store().Count(), 299u);
  EXPECT_EQ(log.Store().Line(199), "Pellor running...");  // still held
  for (const PaintRow& row : log.PlanPaint()) {
    EXPECT_EQ(row.text.find_first_not_of(' '), std::string::npos);
  }
}

TEST(DebugLog, PaintPlanNewestAtTheBottomAndCutAt255) {
  DebugLog log = MakeLog(2400, 35);  // 3 rows, 401 characters a row
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
  DebugLog log = MakeLog(60, 20);
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
