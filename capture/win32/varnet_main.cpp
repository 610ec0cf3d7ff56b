// Varnet, the capture tool: entry point. No command-line argument changes
// what it does.
#include <windows.h>

#include "app/varnet.h"
#include "win32/varnet_host.h"
#include "win32/wrapper_net_api.h"
#include "win32_profile.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  varnet::Win32Host host(instance);
  trelm::Win32Profiles profiles;
  varnet::WrapperNetApi net;
  varnet::Varnet app(profiles, host, net);
  // Without a window the program still starts up; its lines go to the log.
  host.CreateMainWindow(app);
  net.SetWindow(host.MainWindow());
  app.Startup();
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  // Streams still open are flushed and closed as the program ends.
  app.Log().CloseStreams();
  return static_cast<int>(msg.wParam);
}
