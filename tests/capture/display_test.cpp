// The capture tool's display: what an added line needs redrawn, the
// ranges with the ten-line scroll bar, scroll steps and the paint plan.
#include "app/display.h"

#include <gtest/gtest.h>

namespace varnet {
namespace {

// 16-pixel lines, 8-pixel characters, 10 rows of 80 columns.
void Make(Display& d, int height = 160) {
  d.SetMetrics(16, 8);
  d.SetClientSize(640, height);
}

TEST(Display, TheFirstLineBetweenTwoPaintsScrollsTheRestRedrawAll) {
  Display d;
  Make(d);
  for (int i = 0; i < 99; ++i) d.AddLine("", false);
  d.PlanPaint();
  AddEffect first = d.AddLine("one", false);
  EXPECT_TRUE(first.scroll);
  EXPECT_EQ(first.scrollTop, 0);
  EXPECT_FALSE(d.AddLine("two", false).scroll);
  d.PlanPaint();
  AddEffect withDialog = d.AddLine("three", true);
  EXPECT_TRUE(withDialog.scroll);
  EXPECT_EQ(withDialog.scrollTop, kConfigScrollTop);
  // A view scrolled up is brought back to the bottom by the next line.
  d.PlanPaint();
  EXPECT_EQ(d.VerticalScroll(kPageUp), -10);
  AddEffect back = d.AddLine("four", false);
  EXPECT_FALSE(back.scroll);
  EXPECT_EQ(d.View().ViewPos(), d.View().LiveBottom());
}

TEST(Display, TheScrollBarStopsTenLinesShortAndStepsAreClamped) {
  Display d;
  Make(d);
  for (int i = 0; i < 15; ++i) d.AddLine("x", false);
  ScrollBars bars = d.Recompute();
  EXPECT_EQ(bars.verticalMax, 0);  // five lines to scroll: the bar offers none
  EXPECT_EQ(bars.verticalPos, 5);
  EXPECT_EQ(d.VerticalScroll(kLineUp), -1);  // the line steps still move the view
  for (int i = 0; i < 30; ++i) d.AddLine(std::string(100, 'w').c_str(), false);
  bars = d.Recompute();
  EXPECT_EQ(bars.verticalMax, 25);
  EXPECT_EQ(bars.verticalPos, 35);
  EXPECT_EQ(bars.horizontalMax, 20);

  struct Step {
    int code;
    int taken;
  } steps[] = {{kPageUp, -10}, {kPageUp, -10}, {kLineDown, 1}, {kThumbTrack, 0},
               {kThumbPosition, 0}, {6, 0} /* top */, {7, 0} /* bottom */, {8, 0},
               {kPageDown, 10}, {kPageDown, 9}, {kLineDown, 0}, {kPageUp, -10},
               {kPageUp, -10}, {kPageUp, -10}, {kPageUp, -5}, {kLineUp, 0}};
  for (const Step& s : steps) EXPECT_EQ(d.VerticalScroll(s.code), s.taken) << s.code;

  EXPECT_EQ(d.HorizontalScroll(kLineDown, 0), 1);
  EXPECT_EQ(d.HorizontalScroll(kThumbTrack, 15), 14);
  EXPECT_EQ(d.HorizontalScroll(kPageDown, 0), 5);
  EXPECT_EQ(d.HorizontalScroll(kPageUp, 0), -20);
}

TEST(Display, AMinimisedWindowKeepsWorking) {
  Display d;
  Make(d, 0);
  for (int i = 0; i < 12; ++i) d.AddLine("x", false);
  EXPECT_EQ(d.Recompute().verticalPos, 12);  // rows 0: the bottom is the count
  EXPECT_EQ(d.View().Bottom(), 12);
  EXPECT_EQ(d.VerticalScroll(kPageUp), -1);
  EXPECT_EQ(d.VerticalScroll(kPageDown), 1);
  EXPECT_TRUE(d.PlanPaint().empty() || d.PlanPaint().front().y == -16);
}

class FailingMemory : public trelm::LineMemory {
 public:
  bool fail = false;
  Block Allocate(std::size_t bytes) override { return fail ? nullptr : new char[bytes]; }
  char* Lock(Block b) override { return static_cast<char*>(b); }
  void Unlock(Block) override {}
  void Free(Block b) override { delete[] static_cast<char*>(b); }
};

TEST(Display, PaintPlacesTheNewestLineOnTheBottomRowAndSkipsEmptySlots) {
  FailingMemory memory;
  Display d(memory);
  Make(d, 100);  // 6 rows, the top one partly shown
  d.AddLine("oldest", false);
  memory.fail = true;
  d.AddLine("lost", false);
  memory.fail = false;
  d.AddLine("newest", false);
  std::vector<DisplayRow> rows = d.PlanPaint();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].y, 84);
  EXPECT_EQ(rows[0].index, 0u);
  EXPECT_EQ(rows[1].y, 68);  // the lost line takes no row
  EXPECT_EQ(rows[1].index, 2u);
  d.Clear();
  EXPECT_TRUE(d.PlanPaint().empty());  // an empty dark blue window

  for (int i = 0; i < 20; ++i) d.AddLine(std::to_string(i).c_str(), false);
  rows = d.PlanPaint();
  ASSERT_EQ(rows.size(), 7u);  // down to the row that starts above the window
  EXPECT_EQ(rows.back().y, -12);
  EXPECT_EQ(d.Store().Text(rows.back().index), "13");
}

}  // namespace
}  // namespace varnet
