// Varnet, the capture tool: entry point. No command-line argument changes
// what it does.
#include <windows.h>

#include "app/varnet.h"
#include "varnet_events.h"  // windmc's, from win32/varnet_events.mc
#include "win32/varnet_host.h"
#include "win32/wrapper_net_api.h"
#include "win32_profile.h"

// The message table and the portable IDs are one list.
static_assert(VARNET_STARTED == varnet::kEventStarted.id && VARNET_CLOSED == varnet::kEventClosed.id &&
                  VARNET_CHANNEL_BACK == varnet::kEventChannelBack.id &&
                  VARNET_WRITING_RESUMED == varnet::kEventWritingResumed.id &&
                  VARNET_RETENTION_DELETED == varnet::kEventRetentionDeleted.id &&
                  VARNET_CHANNEL_DOWN == varnet::kEventChannelDown.id &&
                  VARNET_WRITING_STOPPED == varnet::kEventWritingStopped.id &&
                  VARNET_DATAGRAMS_LOST == varnet::kEventDatagramsLost.id,
              "varnet_events.mc and app/varnet_events.h give the same IDs");

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
  host.CloseEventLog();
  return static_cast<int>(msg.wParam);
}
