// The capture tool's files: the hour's files (the capture log LOG_ and the
// packet data file PKT_ with its run tag), the error log ERRORLOG.TXT, and
// the lines that say what was lost, with their counts. Every write is
// checked: a line or record goes into its file whole or not at all, what
// cannot be written is counted, the first failure of each file is reported
// once, and a line says what was lost when writing succeeds again.
// Portable: it reaches Windows through the host's roles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/capture_host.h"
#include "app/run_figures.h"
#include "app/settings.h"
#include "app/varnet_events.h"
#include "core/channel.h"

namespace varnet {

// Screen lines are cut to this many characters.
constexpr std::size_t kScreenCut = 300;
// Idle ticks after which the hour's files are closed.
constexpr int kIdleLimit = 5;
// The hour's files are written at least this often (milliseconds), and
// when their buffer holds this much.
constexpr long kFlushMs = 100;
constexpr std::size_t kFlushBytes = 64 * 1024;
// Idle ticks (seconds) between two lines about lost datagrams.
constexpr int kLossLineTicks = 60;
// No cut is due.
constexpr std::uint64_t kNoCut = ~static_cast<std::uint64_t>(0);
// Appends one whole line or record, or nothing: a write that fails part-way
// is cut back, so that a file never ends on part of one. cut holds a cut
// that could not be made (kNoCut when none); it is made before the next
// write, which fails while it cannot be.
bool AppendWhole(Stream& stream, const void* data, std::size_t size, std::uint64_t& cut);

// What the log asks of the program it writes for.
class CaptureLogOwner {
 public:
  virtual ~CaptureLogOwner() = default;
  // An hour's file could not be opened: the program ends.
  virtual void CloseProgram() = 0;
  // The hour's files were closed for an hour change: the datagrams of the
  // current second are counted again from none.
  virtual void HourFilesClosed() = 0;
  // The capture log of a new hour was opened, and the screen is live: the
  // title names it.
  virtual void TitleHourLog(const char* logName) = 0;
};

class CaptureLog {
 public:
  CaptureLog(CaptureFiles& files, WorkstationClock& clock, MainWindowView& window,
             const Settings& settings, NetApi& net, const Channel& channel, CaptureLogOwner& owner,
             VarnetEvents& events)
      : files_(files),
        clock_(clock),
        window_(window),
        settings_(settings),
        net_(net),
        channel_(channel),
        owner_(owner),
        events_(events) {}

  // A new start-up: the open failure may be reported again, and the screen
  // shows the lines.
  void Restart();
  // The run's tag (ChooseRunTag): after the last timed record's tag of the
  // newest packet data file of the log directory that holds a record, and
  // never the last of the hour's own file. Found before this run's files
  // are opened: they may be the newest.
  void FindRunTag();

  // The log-line operation: a time-stamped line in the hour's capture log
  // (opened for it), and on the screen while it is live.
  void WriteLogLine(const char* text);
  // A dated entry in ERRORLOG.TXT, framed on the screen.
  void WriteErrorLog(const char* text);
  // Records the datagram in the hour's packet data file (opening the hour's
  // files for it) while packets are saved.
  void RecordDatagram(std::uint8_t type, const std::uint8_t (&buffer)[kDatagramSize + 1],
                      std::uint16_t length, const Arrival* arrival);

  // The idle tick: writes what is held, and closes the hour's files after
  // kIdleLimit ticks without a line.
  void IdleTick();
  void ResetIdle() { idleCounter_ = 0; }
  // Writes what the hour's files hold in their buffers (the posted flush,
  // the idle tick, the close).
  void FlushFiles();
  // The same, when what is held is kFlushMs old.
  void FlushIfDue(const LocalTime& now);
  // The program's end: flush and close what is still open.
  void CloseStreams();

  // The wrapper's count of datagrams for the names while they were gone,
  // taken before the close removes them.
  void NoteLossBeforeClose();
  // The wrapper's loss counters: a line when they rose (at most one a
  // minute), or the run's totals at the close: always a line with what
  // was received and recorded, and the lines of what was lost where
  // something was.
  void ReportDatagramLoss(bool closing);
  // The run's counts: once the close said its totals, the counts those
  // lines said; before, as they stand (nothing waits at the close yet).
  RunCounts Counts();

  // Hour files that retention deleted in this run, and their bytes.
  std::uint64_t RetentionFiles() const { return retentionFiles_; }
  std::uint64_t RetentionBytes() const { return retentionBytes_; }

  // Whether log lines also reach the screen (false while it is paused).
  void SetDisplayLive(bool live) { displayLive_ = live; }
  bool DisplayLive() const { return displayLive_; }
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
  // Adds a line or record to the file's buffer; it is written with the
  // next flush.
  void Put(HourFile& file, const void* data, std::size_t size, const LocalTime& now);
  // Held lines or records kFlushMs old are written.
  static bool Due(const HourFile& file, const LocalTime& now);
  // Writes the buffer whole, or what fits a line or record at a time,
  // counting and reporting what does not. A held note of loss that is not
  // written is not counted: it is said again, with its counts, later.
  void Flush(HourFile& file, WriteLoss& loss);
  // One capture log line, also on the screen.
  void PutLogLine(const LocalTime& now, const char* text);
  // An error log entry, written at once and shown on the screen. Counted:
  // a box when the file cannot be opened (the entry counted as lost, and
  // not shown), and a failed write counted and reported. Not counted (a
  // report of loss): neither.
  void PutErrorEntry(const char* text, bool counted);
  // A loss on the screen and, when it can be written, in the error log.
  void ReportLoss(const char* text);
  void OpenHourFiles();
  // Retention: deletes the hours the settings no longer keep, oldest
  // first, and holds a line for each (SayRetention writes them: a line
  // written here could flush the file being written). After a write that
  // failed, only when minimum free space is set, and not again for a
  // second after an attempt that deleted nothing. True when a file went.
  bool KeepRetention(bool afterFailedWrite);
  void SayRetention();
  // The run's counts, at the close with what still waited in the wrapper;
  // kept: whether the wrapper keeps loss counters.
  RunCounts CountRun(bool closing, bool* kept);
  // Closes both hour streams (hour change) and has the receive counter
  // cleared.
  void CloseHourFiles();
  // WriteLogLine's hour change and opening, without a line; true when the
  // capture log is open.
  bool ReadyHourFiles(const LocalTime& now);

  CaptureFiles& files_;
  WorkstationClock& clock_;
  MainWindowView& window_;
  const Settings& settings_;
  NetApi& net_;
  const Channel& channel_;
  CaptureLogOwner& owner_;
  VarnetEvents& events_;

  bool displayLive_ = true;
  HourFile log_;
  HourFile packet_;
  WriteLoss logLoss_;
  WriteLoss packetLoss_;
  WriteLoss errorLoss_;
  LossNote note_;
  NetLoss lossShown_;
  int lossLineTicks_ = kLossLineTicks;
  bool flushArmed_ = false;
  int idleCounter_ = 0;
  int keyDay_ = 0;
  int keyHour_ = 0;
  bool errorReported_ = false;
  // Datagrams handled in this run: the sequence of records when the wrapper
  // gives none.
  std::uint32_t ownSequence_ = 0;
  // This run's tag in its timed records.
  int runTag_ = Arrival::kNoRunTag;
  // The wrapper's count of datagrams for the names while they were gone,
  // as it stood before the close removed them.
  std::uint64_t unclaimedBeforeClose_ = 0;
  // Retention's lines not yet written, its counts in this run, and the
  // Ticks before which a failed write tries it no more.
  std::vector<std::string> retentionLines_;
  std::uint64_t retentionFiles_ = 0;
  std::uint64_t retentionBytes_ = 0;
  std::uint64_t retentionHours_ = 0;
  std::uint64_t retentionRestUntil_ = 0;
  // The hour (a NaiveHour) of the hour files last opened.
  std::int64_t openHour_ = 0;
  // Datagrams handed to the log, and their records written whole; the
  // counts the close's lines said, once they were said.
  std::uint64_t received_ = 0;
  std::uint64_t recorded_ = 0;
  bool totalsSaid_ = false;
  RunCounts closeCounts_;
};

}  // namespace varnet
