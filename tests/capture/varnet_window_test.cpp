// Varnet's real main window in the test's own process, started on an
// installation found through MC_ROOT and MC_SYSTEM (so the bootstrap file is
// not touched): class, title, menu and its check marks, the 99 blank lines,
// and the newest line kept in view when the horizontal bar appears and when
// the window is resized.
#include <windows.h>

#include <gtest/gtest.h>

#include "e2e_harness.h"

#include <cstdlib>
#include <string>

#include "fake_net.h"
#include "win32/varnet_host.h"
#include "win32_profile.h"

namespace varnet {
namespace {

using trelm_e2e::PumpMessages;

std::string MenuText(HMENU menu, UINT item, UINT flags) {
  char text[64] = "";
  GetMenuStringA(menu, item, text, sizeof text, flags);
  return text;
}

bool Checked(HWND main, UINT id) {
  return (GetMenuState(GetMenu(main), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

// c:\vnwin\sys1\config\system holds VARNET.INI, c:\vnwin\sys1\windows\lib
// the control library.
void Install() {
  for (const char* dir : {"c:\\vnwin", "c:\\vnwin\\sys1", "c:\\vnwin\\sys1\\config",
                          "c:\\vnwin\\sys1\\config\\system", "c:\\vnwin\\sys1\\windows",
                          "c:\\vnwin\\sys1\\windows\\lib"}) {
    CreateDirectoryA(dir, nullptr);
  }
  const char* ini = "c:\\vnwin\\sys1\\config\\system\\VARNET.INI";
  DeleteFileA(ini);
  WritePrivateProfileStringA("Paths", "LogFilePath", "c:\\vnwin\\logs", ini);
  WritePrivateProfileStringA("Network", "ShowHeartbeats", "0", ini);
  const char* built = std::getenv("TRELM_CC");
  ASSERT_NE(built, nullptr) << "TRELM_CC names the control library";
  std::string from = std::string("Z:") + built;
  for (char& c : from) c = c == '/' ? '\\' : c;
  CopyFileA(from.c_str(), "c:\\vnwin\\sys1\\windows\\lib\\TRELM_CC.DLL", FALSE);
  SetEnvironmentVariableA("MC_ROOT", "c:\\vnwin");
  SetEnvironmentVariableA("MC_SYSTEM", "sys1");
}

TEST(VarnetWindow, ClassTitleMenuAndTheNewestLine) {
  Install();
  Win32Host host(GetModuleHandleA(nullptr));
  trelm::Win32Profiles profiles;
  FakeNet net;
  Varnet app(profiles, host, net);
  ASSERT_TRUE(host.CreateMainWindow(app));
  HWND main = host.MainWindow();
  char text[128] = "";
  GetClassNameA(main, text, sizeof text);
  EXPECT_STREQ(text, "V3VARNET");
  GetWindowTextA(main, text, sizeof text);
  EXPECT_STREQ(text, "Please wait...");
  EXPECT_EQ(host.Screen().Store().Count(), 99u);

  ASSERT_TRUE(app.Startup());
  GetWindowTextA(main, text, sizeof text);
  EXPECT_STREQ(text, "Trelm Tessik Log - V3.09.00 - Channel 0");
  EXPECT_TRUE(Checked(main, 1014) && Checked(main, 1012) && Checked(main, 1013));
  EXPECT_FALSE(Checked(main, 1015));
  SendMessageA(main, WM_COMMAND, 1015, 0);
  EXPECT_TRUE(Checked(main, 1015));
  SendMessageA(main, WM_COMMAND, 1012, 0);
  EXPECT_FALSE(Checked(main, 1012));
  EXPECT_EQ(host.Screen().Store().Text(0).substr(14), "    - Not logging 'N' series messages -");

  HMENU menu = GetMenu(main);
  ASSERT_NE(menu, nullptr);
  const char* bar[] = {"&File", "&Window", "&Configure", "&Show", "&Analyse", "&Packet", "&Help"};
  ASSERT_EQ(GetMenuItemCount(menu), 7);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(MenuText(menu, i, MF_BYPOSITION), bar[i]);
  EXPECT_EQ(GetMenuItemID(menu, 4), 1002u);  // commands on the bar itself
  EXPECT_EQ(GetMenuItemID(menu, 5), 765u);
  struct Item {
    UINT id;
    const char* text;
  } items[] = {{1001, "E&xit"},           {1103, "&Clear"},         {1011, "&Device Filter"},
               {1014, "&UR Headers"},     {1012, "&N Messages"},    {1013, "&Serial Numbers"},
               {1015, "&Heartbeats"},     {1004, "&About"}};
  for (const Item& item : items) EXPECT_EQ(MenuText(menu, item.id, MF_BYCOMMAND), item.text);

  for (int i = 0; i < 150; ++i) host.AddLine(("line " + std::to_string(i)).c_str());
  PumpMessages();
  RECT before;
  GetClientRect(main, &before);
  host.AddLine(std::string(290, 'w').c_str());  // wider than the window
  host.AddLine("newest");
  PumpMessages();
  RECT after;
  GetClientRect(main, &after);
  ASSERT_LT(after.bottom, before.bottom) << "the horizontal bar takes room";
  const trelm::TextView& view = host.Screen().View();
  EXPECT_EQ(view.ViewPos(), view.Bottom());
  EXPECT_EQ(view.Bottom(), view.LiveBottom());
  int low = 0;
  int high = 0;
  GetScrollRange(main, SB_VERT, &low, &high);
  EXPECT_EQ(high, view.Bottom() - 10);

  // A smaller window, then a paged-up view that a resize leaves where it is.
  SetWindowPos(main, nullptr, 0, 0, 500, 300, SWP_NOMOVE | SWP_NOZORDER);
  PumpMessages();
  EXPECT_EQ(view.ViewPos(), view.Bottom());
  SendMessageA(main, WM_VSCROLL, SB_PAGEUP, 0);
  const int paged = view.ViewPos();
  EXPECT_LT(paged, view.Bottom());
  SetWindowPos(main, nullptr, 0, 0, 520, 320, SWP_NOMOVE | SWP_NOZORDER);
  PumpMessages();
  EXPECT_EQ(view.ViewPos(), paged);

  SendMessageA(main, WM_CLOSE, 0, 0);
  // Messages posted before the close (a flush of the hour's files) are
  // taken first; then the quit message ends the loop.
  MSG msg;
  int taken = 0;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0 && ++taken < 100) DispatchMessageA(&msg);
  EXPECT_LT(taken, 100) << "the quit message ends the loop";
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  app.Log().CloseStreams();
  DestroyWindow(main);
}

}  // namespace
}  // namespace varnet
