// The capture tool's logic: start-up, the main window's commands, keys and
// timers, the show toggles, the log-line operation with its hourly files and
// error log, the device filter dialog and the orderly shutdown. Portable:
// everything it needs from Windows goes through CaptureHost.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/capture_host.h"
#include "app/packet_analysis.h"
#include "app/settings.h"
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

// Screen lines are cut to this many characters.
constexpr std::size_t kScreenCut = 300;
// Blank lines that put the first text on the bottom row.
constexpr int kBlankLines = 99;
// Idle ticks after which the hour's files are closed.
constexpr int kIdleLimit = 5;
// The hour's files are written at least this often (milliseconds), and
// when their buffer holds this much.
constexpr long kFlushMs = 100;
constexpr std::size_t kFlushBytes = 64 * 1024;
// Lines of a log that Analyse reads before it lets the window take its
// messages.
constexpr int kAnalyseLinesPerStep = 4000;
// Lines read between two looks at the message queue.
constexpr int kAnalyseLinesPerLook = 200;
// Idle ticks (seconds) between two lines about lost datagrams.
constexpr int kLossLineTicks = 60;
// No cut is due.
constexpr std::uint64_t kNoCut = ~static_cast<std::uint64_t>(0);
// Appends one whole line or record, or nothing: a write that fails part-way
// is cut back, so that a file never ends on part of one. cut holds a cut
// that could not be made (kNoCut when none); it is made before the next
// write, which fails while it cannot be.
bool AppendWhole(Stream& stream, const void* data, std::size_t size, std::uint64_t& cut);

class Varnet : public ChannelHost, public DecoderHost {
 public:
  Varnet(ProfileAccess& profiles, CaptureShell& host, NetApi& net)
      : profiles_(profiles),
        host_(host),
        net_(net),
        channel_(net, *this, settings_),
        decoder_(*this, settings_, filters_),
        packets_(host, host, host, channel_, settings_) {}
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
  bool Analysing() const { return analysis_ != nullptr; }
  // Message 3024: a NetBIOS request completed.
  void OnNetCompletion(unsigned code, NetRequest request);

  // The log-line operation and the error log.
  void WriteLogLine(const char* text) override;
  void WriteErrorLog(const char* text) override;
  void IdleTick();
  // Closes both hour streams (idle limit, hour change) and clears the
  // receive counter.
  void CloseHourFiles();
  // The program's end: flush and close what is still open.
  void CloseStreams();
  // Writes what the hour's files hold in their buffers (the posted flush,
  // the idle tick, the close).
  void FlushFiles();

  // The device filter dialog, driven by its window procedure.
  void FilterOnInit();
  // The list's current selection, or a negative value for none.
  void FilterOnList(int selection);
  void FilterOnCommand(int id);

  // The channel's side of the tool.
  void ShowLine(const char* text) override { host_.AddLine(text); }
  void SetTimer(unsigned id, unsigned ms) override;
  void KillTimer(unsigned id) override;
  void ShowWindowError(const char* text) override { host_.ShowWindowError(text); }
  LocalTime Now() override { return host_.Now(); }
  // Records the datagram (opening the hour's files for it when packets are
  // saved) and decodes it.
  void OnDatagram(std::uint8_t type, const std::uint8_t (&buffer)[kDatagramSize + 1],
                  std::uint16_t length, const Arrival* arrival = nullptr) override;
  void CountReceive() override { ++receiveCounter_; }
  // The decoders' clock.
  void SetClockDate(int year, int month, int day) override { host_.SetClockDate(year, month, day); }
  void SetClockTime(int hour, int minute, int second, int milliseconds) override {
    host_.SetClockTime(hour, minute, second, milliseconds);
  }

  const Settings& Config() const { return settings_; }
  Channel& Net() { return channel_; }
  PacketAnalysis& Packets() { return packets_; }
  const DeviceFilters& Filters() const { return filters_; }
  bool DisplayLive() const { return displayLive_; }
  bool ConfigOpen() const { return configOpen_; }
  bool FilterCreated() const { return filterCreated_; }
  int SelectedDevice() const { return selectedDevice_; }
  bool Closing() const { return closing_; }
  // Datagrams received in the current second (the network side adds).
  std::uint32_t ReceiveCounter() const { return receiveCounter_; }
  // The packet data stream while it is open, else nullptr.
  Stream* PacketStream() { return packet_.stream.get(); }
  bool LogOpen() const { return log_.stream != nullptr; }
  int IdleCounter() const { return idleCounter_; }

 private:
  // One of the hour's files (or the error log while it is written).
  struct HourFile {
    std::unique_ptr<Stream> stream;
    std::string name;
    std::uint64_t cut = kNoCut;
    std::size_t unit = 0;  // the size of a record; 0: lines of text
    // Lines or records not yet written, how many, and since when (the
    // milliseconds of the day).
    std::string pending;
    std::uint64_t units = 0;
    long since = 0;
    // The length of each line held (a line may hold line feeds of its
    // own); unused for records, which are all unit long.
    std::vector<std::size_t> lengths;
    // The place among the held lines of the line that says what was lost
    // (kNoNote: none held).
    std::uint64_t note = kNoNote;
    static constexpr std::uint64_t kNoNote = ~static_cast<std::uint64_t>(0);
    void Open(std::unique_ptr<Stream> opened, const char* path, std::size_t unitSize);
  };
  // What could not be written to one kind of file.
  struct WriteLoss {
    bool failing = false;     // the last write failed
    std::uint64_t pending = 0;  // lost since the last line that said so
    std::uint64_t total = 0;    // lost in this run
    std::string reported;       // the last file whose failure was reported
  };
  // The counts that the held line saying what was lost carries: they stay
  // lost and unsaid until that line is written.
  struct LossNote {
    std::uint64_t log = 0, error = 0, packet = 0;
  };
  LossNote note_;
  // Adds a line or record to the file's buffer; it is written with the
  // next flush.
  void Put(HourFile& file, const void* data, std::size_t size, const LocalTime& now);
  // Held lines or records kFlushMs old are written.
  static bool Due(const HourFile& file, const LocalTime& now);
  void FlushIfDue(const LocalTime& now);
  // Writes the buffer whole, or what fits a line or record at a time,
  // counting and reporting what does not. A held note of loss that is not
  // written is not counted: it is said again, with its counts, later.
  void Flush(HourFile& file, WriteLoss& loss);
  // One capture log line, also on the screen.
  void PutLogLine(const LocalTime& now, const char* text);
  // An error log entry, written at once and shown on the screen. Counted:
  // a box when the file cannot be opened, and a failed write counted and
  // reported. Not counted (a report of loss): neither.
  void PutErrorEntry(const char* text, bool counted);
  // A loss on the screen and, when it can be written, in the error log.
  void ReportLoss(const char* text);
  // An analysis under way.
  struct Analysis {
    explicit Analysis(std::unique_ptr<InputFile> opened)
        : file(std::move(opened)), reader(*file) {}
    std::unique_ptr<InputFile> file;
    LineReader reader;
    bool found = false;
  };
  std::unique_ptr<Analysis> analysis_;
  // The wrapper's loss counters: a line when they rose (at most one a
  // minute), or the run's totals at the close.
  void ReportDatagramLoss(bool closing);
  // The timers of a second or more, run here when their messages are held
  // back (posted messages come first), and the flush when it is due.
  void CatchUp();
  // Whether a periodic timer runs now (and notes that it did).
  bool TakeTimerTurn(unsigned id);
  // The run's tag (ChooseRunTag): after the last timed record's tag of the
  // newest packet data file of the log directory that holds a record, and
  // never the last of the hour's own file.
  int FindRunTag();
  void OpenHourFiles();
  // WriteLogLine's hour change and opening, without a line; true when the
  // capture log is open.
  bool ReadyHourFiles(const LocalTime& now);
  void ToggleShowFlag(const ShowFlagInfo& info, bool writeBack);
  void TogglePause(bool byMouse);
  void UpdateIndicator();
  void RunningTitle(char* out, std::size_t size) const;

  ProfileAccess& profiles_;
  CaptureShell& host_;
  NetApi& net_;
  Settings settings_;
  DeviceFilters filters_;
  Channel channel_;
  Decoder decoder_;
  PacketAnalysis packets_;

  bool displayLive_ = true;
  bool closing_ = false;
  bool controlLibraryLoaded_ = false;

  HourFile log_;
  HourFile packet_;
  WriteLoss logLoss_;
  WriteLoss packetLoss_;
  WriteLoss errorLoss_;
  NetLoss lossShown_;
  int lossLineTicks_ = kLossLineTicks;
  bool flushArmed_ = false;
  int idleCounter_ = 0;
  int keyDay_ = 0;
  int keyHour_ = 0;
  bool errorReported_ = false;
  std::uint32_t receiveCounter_ = 0;
  // Datagrams handled in this run: the sequence of records when the wrapper
  // gives none.
  std::uint32_t ownSequence_ = 0;
  // This run's tag in its timed records.
  int runTag_ = Arrival::kNoRunTag;
  // The wrapper's count of datagrams for the names while they were gone,
  // as it stood before the close removed them.
  std::uint64_t unclaimedBeforeClose_ = 0;
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
