// The capture tool's logic: start-up, the main window's commands, keys and
// timers, the show toggles, the log-line operation with its hourly files and
// error log, the device filter dialog and the orderly shutdown. Portable:
// everything it needs from Windows goes through CaptureHost.
#pragma once

#include <cstdint>
#include <memory>

#include "capture_host.h"
#include "channel.h"
#include "decoder.h"
#include "packet_analysis.h"
#include "settings.h"

namespace varnet {

constexpr const char* kVersion = "3.09.00";
constexpr const char* kBuildDate = "Oct  1 2009";
constexpr const char* kBuildTime = "19:22:43";

// Menu commands.
enum : unsigned {
  kCmdPacket = 765,
  kCmdExit = 1001,
  kCmdAnalyse = 1002,
  kCmdAbout = 1004,
  kCmdDeviceFilter = 1011,
  kCmdShowNx = 1012,
  kCmdShowSerial = 1013,
  kCmdShowUR = 1014,
  kCmdShowHeartbeats = 1015,
  kCmdClear = 1103,
};

// Main window timers.
enum : unsigned { kTimerIdle = 1, kTimerWatchdog = 2, kTimerReplay = 3, kTimerReset = 4 };

// Device filter dialog controls.
enum : int {
  kFilterIndicator = 101,
  kFilterToggle = 102,
  kFilterEnableAll = 103,
  kFilterDisableAll = 104,
  kFilterClose = 105,
  kFilterLoad = 121,
  kFilterSave = 122,
  kFilterList = 321,
};

// Screen lines are cut to this many characters.
constexpr std::size_t kScreenCut = 300;
// Blank lines that put the first text on the bottom row.
constexpr int kBlankLines = 99;
// Idle ticks after which the hour's files are closed.
constexpr int kIdleLimit = 5;

class Varnet : public ChannelHost, public DecoderHost {
 public:
  Varnet(CaptureHost& host, NetApi& net)
      : host_(host),
        channel_(net, *this, settings_),
        decoder_(*this, settings_, filters_),
        packets_(host, channel_, settings_) {}

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
  // The Analyse command: a capture log's unusual entries on the screen.
  void AnalyseLog();
  // Message 3024: a NetBIOS request completed.
  void OnNetCompletion(unsigned code, NetRequest request) { channel_.OnCompletion(code, request); }

  // The log-line operation and the error log.
  void WriteLogLine(const char* text) override;
  void WriteErrorLog(const char* text) override;
  void IdleTick();
  // Closes both hour streams (idle limit, hour change) and clears the
  // receive counter.
  void CloseHourFiles();
  // The program's end: flush and close what is still open.
  void CloseStreams();

  // The device filter dialog, driven by its window procedure.
  void FilterOnInit();
  // The list's current selection, or a negative value for none.
  void FilterOnList(int selection);
  void FilterOnCommand(int id);

  // The channel's side of the tool.
  void ShowLine(const char* text) override { host_.AddLine(text); }
  void SetTimer(unsigned id, unsigned ms) override { host_.SetTimer(id, ms); }
  void KillTimer(unsigned id) override { host_.KillTimer(id); }
  void ShowWindowError(const char* text) override { host_.ShowWindowError(text); }
  LocalTime Now() override { return host_.Now(); }
  // Records the datagram (opening the hour's files for it when packets are
  // saved) and decodes it.
  void OnDatagram(std::uint8_t type, const std::uint8_t (&buffer)[kDatagramSize + 1],
                  std::uint16_t length) override;
  void CountReceive() override { ++receiveCounter_; }
  // The decoders' clock.
  void SetClockDate(int year, int month, int day) override { host_.SetClockDate(year, month, day); }
  void SetClockTime(int hour, int minute, int second, int milliseconds) override {
    host_.SetClockTime(hour, minute, second, milliseconds);
  }

  Settings& Config() { return settings_; }
  Channel& Net() { return channel_; }
  PacketAnalysis& Packets() { return packets_; }
  DeviceFilters& Filters() { return filters_; }
  bool DisplayLive() const { return displayLive_; }
  bool ConfigOpen() const { return configOpen_; }
  bool FilterCreated() const { return filterCreated_; }
  int SelectedDevice() const { return selectedDevice_; }
  bool Closing() const { return closing_; }
  // Datagrams received in the current second (the network side adds).
  std::uint32_t& ReceiveCounter() { return receiveCounter_; }
  // The packet data stream while it is open, else nullptr.
  Stream* PacketStream() { return packetStream_.get(); }
  bool LogOpen() const { return logStream_ != nullptr; }
  int IdleCounter() const { return idleCounter_; }

 private:
  void OpenHourFiles();
  // WriteLogLine's hour change and opening, without a line; true when the
  // capture log is open.
  bool ReadyHourFiles(const LocalTime& now);
  void ToggleShowFlag(const ShowFlagInfo& info, bool writeBack);
  void TogglePause(bool byMouse);
  void UpdateIndicator();
  void RunningTitle(char* out, std::size_t size) const;

  CaptureHost& host_;
  Settings settings_;
  DeviceFilters filters_;
  Channel channel_;
  Decoder decoder_;
  PacketAnalysis packets_;

  bool displayLive_ = true;
  bool closing_ = false;
  bool controlLibraryLoaded_ = false;

  std::unique_ptr<Stream> logStream_;
  std::unique_ptr<Stream> packetStream_;
  int idleCounter_ = 0;
  int keyDay_ = 0;
  int keyHour_ = 0;
  bool errorReported_ = false;
  std::uint32_t receiveCounter_ = 0;

  bool filterCreated_ = false;
  bool configOpen_ = false;
  int selectedDevice_ = 1;
};

}  // namespace varnet
