// The capture tool's logic: start-up, the channel and the decoding of what
// it receives, the main window's commands, keys and timers, the show
// toggles, the screen pause, the device filter dialog and the orderly
// shutdown. Its files are the CaptureLog's, the Analyse command the
// LogAnalysis's. Portable: everything it needs from Windows goes through
// CaptureShell.
#pragma once

#include <cstdint>

#include "app/capture_host.h"
#include "app/capture_log.h"
#include "app/log_analysis.h"
#include "app/metrics_file.h"
#include "app/packet_analysis.h"
#include "app/run_figures.h"
#include "app/settings.h"
#include "app/varnet_events.h"
#include "app/varnet_ids.h"
#include "core/channel.h"
#include "core/decoder.h"

namespace varnet {

constexpr const char* kVersion = "3.09.00";
constexpr const char* kBuildDate = "Oct  1 2009";
constexpr const char* kBuildTime = "19:22:43";

// Menu commands.
enum : unsigned {
  kCmdPacket = IDM_PACKET,
  kCmdExit = IDM_EXIT,
  kCmdAnalyse = IDM_ANALYSE,
  kCmdAbout = IDM_ABOUT,
  kCmdDeviceFilter = IDM_DEVICE_FILTER,
  kCmdShowNx = IDM_SHOW_NX,
  kCmdShowSerial = IDM_SHOW_SERIAL,
  kCmdShowUR = IDM_SHOW_UR,
  kCmdShowHeartbeats = IDM_SHOW_HEARTBEATS,
  kCmdClear = IDM_CLEAR,
};

// Main window timers.
enum : unsigned {
  kTimerIdle = 1,
  kTimerWatchdog = 2,
  kTimerReplay = 3,
  kTimerReset = 4,
  kTimerFlush = 5
};

// Device filter dialog controls.
enum : int {
  kFilterIndicator = IDC_FILTER_INDICATOR,
  kFilterToggle = IDC_FILTER_TOGGLE,
  kFilterEnableAll = IDC_FILTER_ENABLE_ALL,
  kFilterDisableAll = IDC_FILTER_DISABLE_ALL,
  kFilterClose = IDC_FILTER_CLOSE,
  kFilterLoad = IDC_FILTER_LOAD,
  kFilterSave = IDC_FILTER_SAVE,
  kFilterList = IDC_FILTER_LIST,
};

// Blank lines that put the first text on the bottom row.
constexpr int kBlankLines = 99;

class Varnet : public ChannelHost, public DecoderHost, public CaptureLogOwner {
 public:
  Varnet(ProfileAccess& profiles, CaptureShell& host, NetApi& net)
      : profiles_(profiles),
        host_(host),
        channel_(net, *this, settings_),
        decoder_(*this, settings_, filters_),
        packets_(host, host, host, channel_, settings_),
        events_(host),
        log_(host, host, host, settings_, net, channel_, *this, events_),
        analysis_(host, host, settings_),
        metrics_(host, host, settings_.metrics, log_) {}
  Varnet(CaptureHost& host, NetApi& net) : Varnet(host, host, net) {}

  // After the window was created: 99 blank lines.
  void OnWindowCreated();
  // Start-up in its order; false when the program is to end at once.
  bool Startup();
  void CloseProgram() override;

  // Main window messages.
  void OnCommand(std::uintptr_t wParam);
  void OnTimer(unsigned id);
  void OnChar(unsigned character);
  void OnLeftButton();
  // The Analyse command: a capture log's unusual entries on the screen,
  // read a piece at a time (AnalyseStep, asked for through the host).
  void AnalyseLog();
  void AnalyseStep();
  bool Analysing() const { return analysis_.Running(); }
  // Message 3024: a NetBIOS request completed.
  void OnNetCompletion(unsigned code, NetRequest request);

  // The idle tick: the log's, the receive counter cleared, the receives
  // posted again, a line when datagrams were lost, and the metrics file
  // when it is due.
  void IdleTick();

  // The device filter dialog, driven by its window procedure.
  void FilterOnInit();
  // The list's current selection, or a negative value for none.
  void FilterOnList(int selection);
  void FilterOnCommand(int id);

  // The channel's and the decoders' side of the tool: lines go to the log.
  void WriteLogLine(const char* text) override { log_.WriteLogLine(text); }
  void WriteErrorLog(const char* text) override { log_.WriteErrorLog(text); }
  void ShowLine(const char* text) override { host_.AddLine(text); }
  void SetTimer(unsigned id, unsigned ms) override;
  void KillTimer(unsigned id) override;
  void ShowWindowError(const char* text) override { host_.ShowWindowError(text); }
  LocalTime Now() override { return host_.Now(); }
  // Has the log record the datagram, and decodes it.
  void OnDatagram(std::uint8_t type, const std::uint8_t (&buffer)[kDatagramSize + 1],
                  std::uint16_t length, const Arrival* arrival = nullptr) override;
  void CountReceive() override { ++receiveCounter_; }
  // The channel's reset, for the event log.
  void ChannelDown() override { events_.ChannelDown(static_cast<int>(settings_.channel)); }
  void ChannelBack(int retries) override {
    events_.ChannelBack(static_cast<int>(settings_.channel), retries);
  }
  // The log's: the hour change clears the receive counter, and a new
  // hour's log is named in the title.
  void HourFilesClosed() override { receiveCounter_ = 0; }
  void TitleHourLog(const char* logName) override;
  // The decoders' clock.
  void SetClockDate(int year, int month, int day) override { host_.SetClockDate(year, month, day); }
  void SetClockTime(int hour, int minute, int second, int milliseconds) override {
    host_.SetClockTime(hour, minute, second, milliseconds);
  }

  const Settings& Config() const { return settings_; }
  Channel& Net() { return channel_; }
  PacketAnalysis& Packets() { return packets_; }
  // What the tool reports to the event log; the retention's report goes
  // through RetentionDeleted here.
  VarnetEvents& Events() { return events_; }
  const DeviceFilters& Filters() const { return filters_; }
  CaptureLog& Log() { return log_; }
  bool DisplayLive() const { return log_.DisplayLive(); }
  bool ConfigOpen() const { return configOpen_; }
  bool FilterCreated() const { return filterCreated_; }
  int SelectedDevice() const { return selectedDevice_; }
  bool Closing() const { return closing_; }
  // Datagrams received in the current second (the network side adds).
  std::uint32_t ReceiveCounter() const { return receiveCounter_; }
  // The run's figures as the metrics file last carried them.
  const RunFigures& Figures() const { return figures_; }

 private:
  // The timers of a second or more, run here when their messages are held
  // back (posted messages come first), and the flush when it is due.
  void CatchUp();
  // Whether a periodic timer runs now (and notes that it did).
  bool TakeTimerTurn(unsigned id);
  void ToggleShowFlag(const ShowFlagInfo& info, bool writeBack);
  void TogglePause(bool byMouse);
  void UpdateIndicator();
  void RunningTitle(char* out, std::size_t size) const;
  // The metrics file's start-up lines, and its first write.
  void StartMetrics();
  // The figures brought up to date and written to the metrics file.
  void WriteMetrics();

  ProfileAccess& profiles_;
  CaptureShell& host_;
  Settings settings_;
  DeviceFilters filters_;
  Channel channel_;
  Decoder decoder_;
  PacketAnalysis packets_;
  VarnetEvents events_;
  CaptureLog log_;
  LogAnalysis analysis_;
  // The run's figures kept here (its start, when datagrams and devices
  // were heard); the log's counts (retention's too) and the channel's
  // state are taken at each write.
  RunFigures figures_;
  MetricsFile metrics_;

  bool closing_ = false;
  bool controlLibraryLoaded_ = false;

  // Datagrams received in the current second.
  std::uint32_t receiveCounter_ = 0;
  // The timers that run here too when their messages are held back: the
  // interval and when each last ran (Ticks), while set.
  struct TimerDue {
    unsigned ms = 0;
    std::uint64_t since = 0;
  };
  TimerDue timersDue_[kTimerFlush + 1];

  bool filterCreated_ = false;
  bool configOpen_ = false;
  int selectedDevice_ = 1;
};

}  // namespace varnet
