// The real "Pellor Debug" window: a line wider than the window brings up the
// horizontal scroll bar, which takes a row; the newest line stays in view.
#include <windows.h>

#include <gtest/gtest.h>

#include "e2e_harness.h"

#include <string>

#include "win32/debug_window.h"

namespace pellor {
namespace {

using trelm_e2e::PumpMessages;

TEST(DebugWindow, TheNewestLineStaysInViewWhenTheHorizontalBarAppears) {
  DebugWindow window;
  ASSERT_TRUE(window.Create(GetModuleHandleA(nullptr)));
  HWND handle = window.Handle();
  window.Add("Pellor running...");
  PumpMessages();
  RECT before;
  GetClientRect(handle, &before);
  EXPECT_EQ(window.Log().VerticalPos(), window.Log().VerticalMax());

  window.Add(("Boot_3=c:\\programs\\" + std::string(150, 'w') + ".exe").c_str());
  window.Add("Delay = 5");
  PumpMessages();
  RECT after;
  GetClientRect(handle, &after);
  ASSERT_LT(after.bottom, before.bottom) << "the horizontal bar takes room from the client area";
  EXPECT_EQ(window.Log().VerticalPos(), window.Log().VerticalMax());
  int low = 0;
  int high = 0;
  GetScrollRange(handle, SB_VERT, &low, &high);
  EXPECT_EQ(GetScrollPos(handle, SB_VERT), high);  // the bar shows the newest line
  EXPECT_EQ(window.Log().Store().Text(0), "Delay = 5");
  window.Destroy();
}

}  // namespace
}  // namespace pellor
