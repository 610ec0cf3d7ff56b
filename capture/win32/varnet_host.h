// The capture tool on Windows: the real host, one object that plays every
// role of CaptureShell. Its code is split by role: varnet_host.cpp (its
// life, installation lookups, clock, control libraries), varnet_host_files
// (files), varnet_host_window (the main window and its message queue),
// varnet_host_display (the lines on the screen) and varnet_host_dialogs.
// Used by varnet.exe and by the benchmark that drives the real window.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

#include "app/capture_host.h"
#include "app/display.h"
#include "app/varnet.h"
#include "win32/global_line_memory.h"
#include "win32_event_log.h"

namespace varnet {

// Profiles go straight to trelm::Win32Profiles.
class Win32Host : public CaptureShell {
 public:
  explicit Win32Host(HINSTANCE instance);
  ~Win32Host() override;

  void LookupConfigPath(char* out, std::size_t size) override;
  void LookupSystemPath(char* out, std::size_t size) override;
  void MakeDirectory(const char* path) override;
  std::vector<FileEntry> ListFiles(const char* dir, const char* prefix) override;
  bool HoldDirectory(const char* dir) override;
  bool RemoveFile(const char* path) override;
  bool FreeBytes(const char* dir, std::uint64_t& bytes) override;
  bool ReplaceWhole(const char* path, const std::string& bytes, std::string& why) override;
  LocalTime Now() override;
  void SetClockDate(int year, int month, int day) override;
  void SetClockTime(int hour, int minute, int second, int milliseconds) override;
  std::uint64_t UtcFileTime() override;
  std::uint64_t Ticks() override { return GetTickCount64(); }
  std::unique_ptr<Stream> OpenFile(const char* path, const char* mode) override;
  std::unique_ptr<InputFile> OpenInput(const char* path, bool text) override;
  bool ChooseFile(const char* title, bool fromPacketDialog, const char* initialDir, char* out,
                  std::size_t size) override;
  void AddLine(const char* text) override;
  void ClearDisplay() override;
  void SetTitle(const char* text) override;
  void CheckMenuItem(unsigned id, bool checked) override;
  void SetTimer(unsigned id, unsigned ms) override;
  void KillTimer(unsigned id) override;
  void DeleteDisplayFont() override;
  void ShowError(const char* text) override;
  void ShowWindowError(const char* text) override;
  void RegisterBorlandControls() override;
  bool LoadControlLibrary(const char* path) override;
  void FreeControlLibrary() override;
  bool CreateFilterDialog() override;
  void DestroyFilterDialog() override;
  void SetIndicatorText(const char* text) override;
  void ShowAbout() override;
  bool CreatePacketDialog() override;
  void DestroyPacketDialog() override;
  void PacketPostChooseFile() override;
  void PacketText(int id, const char* text) override;
  void PacketReadText(int id, char* out, std::size_t size) override;
  void PacketEnable(int id, bool enabled) override;
  void PacketCheck(int id, bool checked) override;
  void PacketListClear() override;
  void PacketListAdd(const char* text) override;
  void PacketTimer(unsigned ms) override;
  void PostAnalyseStep() override;
  bool DelayFlush(unsigned ms) override;
  bool MessagesWaiting() override;
  void TakeWaitingCompletions() override;
  void PostQuit(int exitCode) override;
  // The Application event log, source "Varnet".
  void Report(trelm::EventType type, unsigned id, const std::vector<std::string>& strings) override {
    eventLog_.Report(type, id, strings);
  }
  // The program's end: what waits goes to the event log, for a bounded time.
  void CloseEventLog() { eventLog_.Close(); }

  // Registers the class "V3VARNET", creates and shows the main window with
  // its 99 blank lines; false when no window could be made.
  bool CreateMainWindow(Varnet& app);
  HWND MainWindow() const { return main_; }
  HWND FilterDialog() const { return filter_; }
  HWND PacketDialog() const { return packet_; }
  Display& Screen() { return display_; }

 private:
  // The host whose windows the procedures serve.
  static Win32Host* current_;
  static constexpr COLORREF kBackground = RGB(0, 0, 0x50);
  static constexpr COLORREF kText = RGB(0xFF, 0xFF, 0);
  static LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK FilterProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK PacketProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  // Posted to the Packet dialog once it stands: choose its file.
  static constexpr UINT kChooseFileMessage = WM_APP + 1;
  // Posted to the main window: the next piece of an analysis.
  static constexpr UINT kAnalyseMessage = WM_APP + 2;
  void UpdateMetrics();
  void FixDumpFont(HWND list);
  void RedrawAll();
  void OnRefreshTimer();
  void ApplyScrollBars(const ScrollBars& bars);
  void Paint();
  void VerticalScroll(int code);
  void HorizontalScroll(int code, int thumb);

  HINSTANCE instance_;
  Varnet* app_ = nullptr;
  HWND main_ = nullptr;
  HWND filter_ = nullptr;
  HWND packet_ = nullptr;
  HFONT dumpFont_ = nullptr;
  HFONT font_ = nullptr;
  HMODULE controls_ = nullptr;
  // The log directory's lock file, held open for the run.
  HANDLE directoryLock_ = INVALID_HANDLE_VALUE;
  // The display refreshes at most this often while lines stream in; a line
  // that comes alone scrolls the window at once.
  static constexpr UINT_PTR kRefreshTimer = 0x5652;
  static constexpr DWORD kRefreshMs = 40;
  // While the message queue never empties, the screen is still drawn this often.
  static constexpr DWORD kBusyPaintMs = 100;
  DWORD lastPaint_ = 0;
  bool redrawAll_ = false;     // the whole client area is invalid
  bool refreshArmed_ = false;  // the refresh timer will redraw it
  ScrollBars bars_{};
  bool barsShown_ = false;
  trelm::Win32EventLog eventLog_{"Varnet"};
  GlobalLineMemory memory_;
  Display display_{memory_};
  // Test aid: VARNET_SCREEN_LOG names a file that receives every screen
  // line (and a form feed line for each clear).
  std::FILE* screenLog_ = nullptr;
};

}  // namespace varnet
