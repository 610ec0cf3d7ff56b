// The shared line store and scroll arithmetic.
#include "text_view.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace trelm {
namespace {

// Heap blocks that can be made to fail, and that count what is live.
class TestMemory : public LineMemory {
 public:
  bool failAllocate = false;
  bool failLock = false;
  std::set<Block> live;
  Block Allocate(std::size_t bytes) override {
    if (failAllocate) return nullptr;
    Block b = new char[bytes];
    live.insert(b);
    return b;
  }
  char* Lock(Block b) override { return failLock ? nullptr : static_cast<char*>(b); }
  void Unlock(Block) override {}
  void Free(Block b) override {
    EXPECT_EQ(live.erase(b), 1u) << "freed twice or never allocated";
    delete[] static_cast<char*>(b);
  }
};

TEST(LineStore, TheThousandAndFirstLinePushesOutTheOldestWithBoundedBlocks) {
  TestMemory memory;
  {
    LineStore store(memory);
    for (int i = 1; i <= 1001; ++i) store.Add(("line " + std::to_string(i)).c_str());
    EXPECT_EQ(store.Count(), 1000u);
    EXPECT_EQ(store.Text(0), "line 1001");
    EXPECT_EQ(store.Text(999), "line 2");  // line 1 is gone
    EXPECT_EQ(store.Text(1000), "");       // nothing past the last line
    EXPECT_EQ(memory.live.size(), 1001u);  // the pushed-out block, until the next add
    for (int i = 0; i < 5000; ++i) store.Add("x");
    EXPECT_EQ(memory.live.size(), 1001u);
    EXPECT_EQ(store.Longest(), 9u);  // never shrinks
    store.Clear();
    EXPECT_EQ(store.Count(), 0u);
    EXPECT_EQ(store.Longest(), 9u);
  }
  EXPECT_TRUE(memory.live.empty());  // the store frees everything it had
}

TEST(LineStore, AFailedAllocationOrLockLeavesAnEmptySlot) {
  TestMemory memory;
  LineStore store(memory);
  store.Add("before");
  memory.failAllocate = true;
  store.Add("lost");
  memory.failAllocate = false;
  memory.failLock = true;
  store.Add("unlockable");
  memory.failLock = false;
  store.Add("after");
  EXPECT_EQ(store.Count(), 4u);
  EXPECT_EQ(store.Text(0), "after");
  EXPECT_EQ(store.Lock(1), nullptr);
  EXPECT_EQ(store.Lock(2), nullptr);
  EXPECT_EQ(store.Text(3), "before");
  EXPECT_EQ(store.Longest(), 10u);
  EXPECT_EQ(memory.live.size(), 2u);  // the unlockable block was given back
}

TEST(TextView, RangesAndTheViewAtTheNewestLine) {
  TextView view;
  view.SetMetrics(16, 8);
  view.SetClientSize(800, 160);  // 10 rows, 100 columns
  for (int i = 0; i < 30; ++i) view.Store().Add(std::string(120, 'x').c_str());
  view.FollowNewest();
  view.Recompute();
  EXPECT_EQ(view.Bottom(), 20);
  EXPECT_EQ(view.ViewPos(), 20);
  EXPECT_EQ(view.HorizontalLimit(), 20);

  struct Case {
    int height;
    int bottom;
  } cases[] = {{144, 21}, {320, 10}, {0, 30}, {480, 0}, {160, 20}};
  for (const Case& c : cases) {
    view.SetClientSize(800, c.height);
    view.Recompute();
    EXPECT_EQ(view.Bottom(), c.bottom) << c.height;
    EXPECT_EQ(view.ViewPos(), c.bottom) << "the newest line stays in view at height " << c.height;
  }

  // A view scrolled up is clamped, not moved to the newest line.
  EXPECT_EQ(view.ScrollBy(-5), -5);
  view.SetClientSize(800, 144);
  view.Recompute();
  EXPECT_EQ(view.ViewPos(), 15);
  view.SetClientSize(800, 480);
  view.Recompute();
  EXPECT_EQ(view.ViewPos(), 0);
}

TEST(TextView, ScrollStepsAreClampedToTheRange) {
  TextView view;
  view.SetMetrics(0, 0);  // no metrics: one pixel each
  view.SetClientSize(10, 10);
  for (int i = 0; i < 25; ++i) view.Store().Add("l");
  view.Recompute();
  EXPECT_EQ(view.ViewPos(), 0);  // never at the newest line: clamped, stays at the top
  EXPECT_EQ(view.Bottom(), 15);
  EXPECT_EQ(view.ScrollBy(-3), 0);
  EXPECT_EQ(view.ScrollBy(100), 15);
  EXPECT_EQ(view.ScrollBy(-100), -15);
  EXPECT_EQ(view.ScrollBy(4), 4);
}

}  // namespace
}  // namespace trelm
