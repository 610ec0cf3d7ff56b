// The capture log: the log-line operation, the hour's files with the run
// tag of their records, the error log and the lines about what was lost.
#include "app/capture_log.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "core/log_text.h"
#include "core/packet_file.h"
#include "core/retention.h"
#include "path_join.h"

namespace varnet {

namespace {
constexpr std::size_t kLineBuffer = 768;

void HourFileName(const char* dir, const char* prefix, const LocalTime& t, char* out,
                  std::size_t size) {
  std::snprintf(out, size, "%s\\%s%04d%02d%02d.%02d", dir, prefix, t.year, t.month, t.day,
                t.hour);
}

long MillisecondsOfDay(const LocalTime& t) {
  return ((t.hour * 60L + t.minute) * 60 + t.second) * 1000 + t.milliseconds;
}
constexpr long kDayMs = 24L * 60 * 60 * 1000;

// How far back from a file's end its last timed record is looked for: a run
// with PacketTimes off writes untimed records after an earlier run's timed
// ones. Read a block of records at a time.
constexpr std::uint64_t kTagLookBack = 4096;
constexpr std::uint64_t kTagBlock = 64;

// The run tag of the last timed record among the last kTagLookBack whole
// records of a file of that size (a part of a record at its end is not
// one); kNoRunTag when there is none, or the file cannot be read.
int LastTimedTag(InputFile& file, std::uint64_t size) {
  const std::uint64_t records = size / kRecordSize;
  const std::uint64_t oldest = records > kTagLookBack ? records - kTagLookBack : 0;
  std::vector<std::uint8_t> block(static_cast<std::size_t>(kTagBlock * kRecordSize));
  for (std::uint64_t end = records; end > oldest;) {
    const std::uint64_t begin = end - std::min(kTagBlock, end - oldest);
    const std::size_t bytes = static_cast<std::size_t>((end - begin) * kRecordSize);
    if (!file.Seek(static_cast<std::int64_t>(begin * kRecordSize))) return Arrival::kNoRunTag;
    std::size_t got = 0;
    while (got < bytes) {
      const std::size_t n = file.Read(block.data() + got, bytes - got);
      if (n == 0) break;
      got += n;
    }
    // Shorter than listed: not the records that end the file.
    if (got != bytes) return Arrival::kNoRunTag;
    for (std::size_t at = bytes; at >= kRecordSize; at -= kRecordSize) {
      RecordView record;
      if (ReadRecord(block.data() + at - kRecordSize, kRecordSize, record) && record.timed) {
        return record.arrival.run;
      }
    }
    end = begin;
  }
  return Arrival::kNoRunTag;
}

bool SameHour(const FileHour& a, const FileHour& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour;
}

bool LaterHour(const FileHour& a, const FileHour& b) {
  if (a.year != b.year) return a.year > b.year;
  if (a.month != b.month) return a.month > b.month;
  if (a.day != b.day) return a.day > b.day;
  return a.hour > b.hour;
}

}  // namespace

bool AppendWhole(Stream& stream, const void* data, std::size_t size, std::uint64_t& cut) {
  // A cut that failed before is made first, or this write would follow
  // the part that an earlier one left.
  if (cut != kNoCut) {
    if (!stream.CutTo(cut)) return false;
    cut = kNoCut;
  }
  const std::uint64_t before = stream.Size();
  if (stream.Write(data, size)) return true;
  if (!stream.CutTo(before)) cut = before;
  return false;
}

void CaptureLog::Put(HourFile& file, const void* data, std::size_t size, const LocalTime& now) {
  if (file.pending.empty()) file.since = MillisecondsOfDay(now);
  file.pending.append(static_cast<const char*>(data), size);
  if (file.unit == 0) file.lengths.push_back(size);
  ++file.units;
  // Held for kFlushMs and written in one call for many lines or records:
  // by the timer when the network goes quiet, else here when the oldest
  // comes of age. Writing whenever the queue ran empty would write once a
  // datagram whenever the tool keeps up.
  if (!flushArmed_) {
    flushArmed_ = window_.DelayFlush(static_cast<unsigned>(kFlushMs));
    if (!flushArmed_) {
      FlushFiles();
      return;
    }
  }
  if (file.pending.size() >= kFlushBytes) {
    FlushFiles();
  } else {
    FlushIfDue(now);
  }
}

bool CaptureLog::Due(const HourFile& file, const LocalTime& now) {
  if (file.pending.empty()) return false;
  return (MillisecondsOfDay(now) - file.since + kDayMs) % kDayMs >= kFlushMs;
}

void CaptureLog::FlushIfDue(const LocalTime& now) {
  if (Due(log_, now) || Due(packet_, now)) FlushFiles();
}

void CaptureLog::Flush(HourFile& file, WriteLoss& loss) {
  if (file.pending.empty()) return;
  std::uint64_t lost = 0;
  if (file.stream == nullptr) {
    lost = file.units;
  } else if (!AppendWhole(*file.stream, file.pending.data(), file.pending.size(), file.cut) &&
             !(KeepRetention(true) &&
               AppendWhole(*file.stream, file.pending.data(), file.pending.size(), file.cut))) {
    // Retention made room where it could, and the write was tried again.
    // What fits is kept whole, a line or record at a time as they were
    // queued, up to the first that does not; the rest is counted.
    std::size_t at = 0;
    std::uint64_t written = 0;
    while (written < file.units) {
      const std::size_t length =
          file.unit != 0 ? file.unit : file.lengths[static_cast<std::size_t>(written)];
      if (at + length > file.pending.size() ||
          !AppendWhole(*file.stream, file.pending.data() + at, length, file.cut)) {
        break;
      }
      at += length;
      ++written;
    }
    lost = file.units - written;
  }
  if (file.unit != 0) recorded_ += file.units - lost;
  // The note of loss: its counts are said once it is written; else they
  // stay to be said again, and the note itself is no lost line.
  bool noteFailed = false;
  if (file.note != HourFile::kNoNote) {
    if (file.note < file.units - lost) {
      logLoss_.pending -= note_.log;
      errorLoss_.pending -= note_.error;
      packetLoss_.pending -= note_.packet;
      events_.WritingResumed(note_.log + note_.error, note_.packet);
    } else {
      noteFailed = true;
      --lost;
    }
    note_ = LossNote();
    file.note = HourFile::kNoNote;
  }
  file.pending.clear();
  file.lengths.clear();
  file.units = 0;
  if (lost == 0 && !noteFailed) {
    loss.failing = false;
    return;
  }
  loss.pending += lost;
  loss.total += lost;
  if (!loss.failing) {
    loss.failing = true;
    // Once for each file: a file that fails again after it recovered, or
    // is opened again in the same hour, is not reported twice.
    if (loss.reported != file.name) {
      loss.reported = file.name;
      char text[kLineBuffer];
      std::snprintf(text, sizeof text,
                    "Unable to write to '%s' - what cannot be written is counted as lost",
                    file.name.c_str());
      ReportLoss(text);
      events_.WritingStopped(file.name);
    }
  }
}

void CaptureLog::FlushFiles() {
  flushArmed_ = false;
  // Written after the flush that made them: a line put now could flush
  // the file being written.
  const struct SayAfter {
    CaptureLog& log;
    ~SayAfter() { log.SayRetention(); }
  } sayAfter{*this};
  // The records first: the line about what was lost waits until they
  // are written again too.
  Flush(packet_, packetLoss_);
  const bool hadLines = !log_.pending.empty();
  Flush(log_, logLoss_);
  if (!hadLines || logLoss_.failing || packetLoss_.failing) return;
  if (log_.note != HourFile::kNoNote) return;  // one note at a time
  // Writing works again: say what was lost meanwhile. The counts are taken
  // off only once the note is written (Flush); a note that is not written
  // is said again with them and what was lost since.
  const std::uint64_t lines = logLoss_.pending + errorLoss_.pending;
  const std::uint64_t records = packetLoss_.pending;
  if (lines == 0 && records == 0) return;
  char note[160];
  std::snprintf(note, sizeof note,
                "Writing resumed - %" PRIu64 " lines and %" PRIu64
                " records could not be written and are lost",
                lines, records);
  note_ = LossNote{logLoss_.pending, errorLoss_.pending, packetLoss_.pending};
  log_.note = log_.units;  // the place the note takes
  PutLogLine(clock_.Now(), note);
  if (!flushArmed_) Flush(log_, logLoss_);
}

void CaptureLog::WriteLogLine(const char* text) {
  if (LogDropsText(text, settings_.showNxMessages != 0)) return;
  const LocalTime now = clock_.Now();
  if (!ReadyHourFiles(now)) return;
  PutLogLine(now, text);
  idleCounter_ = 0;
}

void CaptureLog::PutLogLine(const LocalTime& now, const char* text) {
  char line[kLineBuffer];
  const std::size_t length = static_cast<std::size_t>(FormatLogLine(
      line, sizeof line, now.hour, now.minute, now.second, now.milliseconds / 10, text));
  line[length] = '\n';
  Put(log_, line, length + 1, now);
  line[length] = '\0';

  // The screen shows the line whether or not the file takes it.
  if (length > kScreenCut) line[kScreenCut] = '\0';
  if (displayLive_) window_.AddLine(line);
}

bool CaptureLog::ReadyHourFiles(const LocalTime& now) {
  if ((now.day != keyDay_ || now.hour != keyHour_) && log_.stream != nullptr) CloseHourFiles();
  if (log_.stream == nullptr) OpenHourFiles();
  return log_.stream != nullptr;
}

void CaptureLog::FindRunTag() {
  // The newest of our files that holds a record (one that holds none was
  // opened by a run that recorded nothing), and the hour's own file, which
  // this run's first records follow: a later hour's file is there when the
  // clock was set back. Any other name is no file of ours.
  const LocalTime now = clock_.Now();
  const FileHour own{now.year, now.month, now.day, now.hour};
  const std::vector<CaptureFiles::FileEntry> files =
      files_.ListFiles(settings_.logFilePath, "PKT_");
  const CaptureFiles::FileEntry* ownFile = nullptr;
  const CaptureFiles::FileEntry* newest = nullptr;
  FileHour newestHour;
  for (const CaptureFiles::FileEntry& entry : files) {
    FileHour hour;
    if (entry.size < kRecordSize || !ParsePacketFileName(entry.name, &hour)) continue;
    if (SameHour(hour, own)) ownFile = &entry;
    if (newest == nullptr || LaterHour(hour, newestHour)) {
      newest = &entry;
      newestHour = hour;
    }
  }
  const auto lastTag = [this](const CaptureFiles::FileEntry* entry) {
    if (entry == nullptr) return static_cast<int>(Arrival::kNoRunTag);
    char path[kPathSize + 64];
    trelm::JoinPath(settings_.logFilePath, entry->name.c_str(), path, sizeof path);
    const std::unique_ptr<InputFile> file = files_.OpenInput(path, false);
    // Unreadable: no tag to follow or to avoid.
    return file == nullptr ? static_cast<int>(Arrival::kNoRunTag) : LastTimedTag(*file, entry->size);
  };
  const int ownTag = lastTag(ownFile);
  runTag_ = ChooseRunTag(ownTag, newest == ownFile ? ownTag : lastTag(newest));
}

void CaptureLog::RecordDatagram(std::uint8_t type, const std::uint8_t (&buffer)[kDatagramSize + 1],
                                std::uint16_t length, const Arrival* arrival) {
  ++ownSequence_;
  ++received_;
  // Every datagram is recorded while packets are saved, also when the
  // hour's files were closed for idleness or its lines are filtered out.
  if (settings_.savePackets != 0) {
    const LocalTime now = clock_.Now();
    ReadyHourFiles(now);
    if (packet_.stream != nullptr) {
      std::uint8_t record[kRecordSize];
      if (settings_.packetTimes != 0) {
        // The wrapper's time and count, else the time the completion is
        // handled and the tool's own count.
        // Every timed record of the run carries the run's tag.
        Arrival taken = arrival != nullptr ? *arrival
                                           : Arrival{clock_.UtcFileTime(), ownSequence_};
        taken.run = runTag_;
        BuildRecord(type, buffer, length, record, &taken);
      } else {
        BuildRecord(type, buffer, length, record);
      }
      Put(packet_, record, sizeof record, now);
    } else {
      ++packetLoss_.pending;
      ++packetLoss_.total;
    }
  }
}

void CaptureLog::OpenHourFiles() {
  const LocalTime now = clock_.Now();
  char logName[kPathSize + 32];
  HourFileName(settings_.logFilePath, "LOG_", now, logName, sizeof logName);
  const bool newPeriod = now.day != keyDay_ || now.hour != keyHour_;
  if (newPeriod) {
    keyDay_ = now.day;
    keyHour_ = now.hour;
    if (displayLive_) owner_.TitleHourLog(logName);
  }

  // A new hour: the hours the settings no longer keep go before it takes
  // room of its own.
  if (newPeriod) KeepRetention(false);

  openHour_ = NaiveHour(FileHour{now.year, now.month, now.day, now.hour});
  log_.Open(files_.OpenFile(logName, "a"), logName, 0);
  if (log_.stream == nullptr) {
    if (!errorReported_) {
      // Set before the box: completions handled inside its message loop
      // must not show a second one.
      errorReported_ = true;
      window_.ShowError("Unable to open log file");
      owner_.CloseProgram();
    }
  } else if (newPeriod) {
    char line[kPathSize + 64];
    std::snprintf(line, sizeof line, "Capture Log opened...'%s'", logName);
    WriteLogLine(line);
  }

  if (settings_.savePackets != 0) {
    char packetFile[kPacketNameSize];
    PacketFileName(FileHour{now.year, now.month, now.day, now.hour}, packetFile);
    char packetName[kPathSize + 32];
    trelm::JoinPath(settings_.logFilePath, packetFile, packetName, sizeof packetName);
    packet_.Open(files_.OpenFile(packetName, "a+b"), packetName, kRecordSize);
    if (packet_.stream == nullptr) {
      if (!errorReported_) {
        errorReported_ = true;
        window_.ShowError("Unable to open packet data file");
        owner_.CloseProgram();
      }
      return;
    }
    if (newPeriod) {
      char line[kPathSize + 64];
      std::snprintf(line, sizeof line, "Packet data file opened...'%s'", packetName);
      WriteLogLine(line);
    }
    // A file that ends on part of a record (a run that stopped while it
    // wrote, say) is cut back to its whole records before more follow.
    const std::uint64_t size = packet_.stream->Size();
    if (const std::uint64_t part = PartialRecord(size); part != 0) {
      if (!packet_.stream->CutTo(size - part)) packet_.cut = size - part;
      char line[kPathSize + 96];
      std::snprintf(line, sizeof line, "Packet data file ended on part of a record: %u bytes cut",
                    static_cast<unsigned>(part));
      WriteLogLine(line);
    }
  }
  SayRetention();
}

bool CaptureLog::KeepRetention(bool afterFailedWrite) {
  const RetentionSettings& rule = settings_.retention;
  if (!rule.Enabled()) return false;
  if (afterFailedWrite) {
    if (rule.minFreeBytes == 0 || clock_.Ticks() < retentionRestUntil_) return false;
  }
  std::uint64_t freeBytes = 0;
  // Free space that cannot be told asks nothing of the space rule.
  if (!files_.FreeBytes(settings_.logFilePath, freeBytes)) freeBytes = ~std::uint64_t{0};
  std::vector<DirectoryEntry> entries;
  for (const char* prefix : {"LOG_", "PKT_"}) {
    for (CaptureFiles::FileEntry& file : files_.ListFiles(settings_.logFilePath, prefix)) {
      entries.push_back({std::move(file.name), file.size, false});
    }
  }
  const LocalTime now = clock_.Now();
  std::int64_t current = NaiveHour(FileHour{now.year, now.month, now.day, now.hour});
  // The hour whose files are still open (the clock passed into the next
  // before they were closed) is being written: it and later ones stay.
  if (log_.stream != nullptr || packet_.stream != nullptr) current = std::min(current, openHour_);
  bool deleted = false;
  for (HourDeletion& hour : PlanRetention(entries, current, freeBytes, rule)) {
    HourDeletion gone = hour;
    gone.files.clear();
    gone.bytes = 0;
    for (const DirectoryEntry& file : hour.files) {
      char path[kPathSize + 32];
      trelm::JoinPath(settings_.logFilePath, file.name.c_str(), path, sizeof path);
      if (files_.RemoveFile(path)) {
        gone.files.push_back(file);
        gone.bytes += file.size;
      } else {
        retentionLines_.push_back("Retention could not delete " + file.name +
                                  " (open elsewhere, or read-only): it is kept");
      }
    }
    if (gone.files.empty()) continue;
    deleted = true;
    ++retentionHours_;
    retentionFiles_ += gone.files.size();
    retentionBytes_ += gone.bytes;
    retentionLines_.push_back(RetentionLine(gone, rule));
    events_.RetentionDeleted(retentionLines_.back());
  }
  if (afterFailedWrite && !deleted) retentionRestUntil_ = clock_.Ticks() + 1000;
  return deleted;
}

void CaptureLog::SayRetention() {
  // Only into an open capture log: held until one is.
  if (retentionLines_.empty() || log_.stream == nullptr) return;
  std::vector<std::string> lines;
  lines.swap(retentionLines_);
  const LocalTime now = clock_.Now();
  for (const std::string& line : lines) PutLogLine(now, line.c_str());
}

void CaptureLog::HourFile::Open(std::unique_ptr<Stream> opened, const char* path,
                            std::size_t unitSize) {
  stream = std::move(opened);
  name = path;
  cut = kNoCut;
  unit = unitSize;
}

void CaptureLog::CloseHourFiles() {
  CloseStreams();
  owner_.HourFilesClosed();
}

void CaptureLog::CloseStreams() {
  // What waits in the buffers goes out first (and a line it brings).
  FlushFiles();
  Flush(log_, logLoss_);
  log_.stream.reset();
  packet_.stream.reset();
}

void CaptureLog::IdleTick() {
  FlushFiles();
  if (++idleCounter_ >= kIdleLimit) {
    CloseStreams();
    idleCounter_ = 0;
  }
}

void CaptureLog::Restart() {
  errorReported_ = false;
  displayLive_ = true;
}

void CaptureLog::WriteErrorLog(const char* text) { PutErrorEntry(text, true); }

void CaptureLog::ReportLoss(const char* text) { PutErrorEntry(text, false); }

void CaptureLog::PutErrorEntry(const char* text, bool counted) {
  const LocalTime now = clock_.Now();
  char name[kPathSize + 16];
  trelm::JoinPath(settings_.logFilePath, "ERRORLOG.TXT", name, sizeof name);
  // Written at once, not buffered: it is opened for each entry.
  HourFile file;
  file.Open(files_.OpenFile(name, "a"), name, 0);
  // A report of loss has no box: the disk may stay full for long.
  if (file.stream == nullptr && counted) {
    window_.ShowError("Unable to open error log file");
    // The box says it; the entry is lost all the same, and counted.
    ++errorLoss_.pending;
    ++errorLoss_.total;
    return;
  }
  char entry[kLineBuffer];
  std::snprintf(entry, sizeof entry, "%02d/%02d/%04d %02d:%02d:%02d - %s", now.day, now.month,
                now.year, now.hour, now.minute, now.second, text);
  const std::size_t length = std::strlen(entry);
  if (file.stream != nullptr) {
    entry[length] = '\n';
    if (counted) {
      file.pending.assign(entry, length + 1);
      file.lengths.assign(1, length + 1);
      file.units = 1;
      Flush(file, errorLoss_);
    } else {
      // Not counted again, nor reported: it reports a loss.
      AppendWhole(*file.stream, entry, length + 1, file.cut);
    }
    entry[length] = '\0';
  }
  // On the screen whatever became of the file.
  if (length > kScreenCut) entry[kScreenCut] = '\0';
  window_.AddLine("------------------ ! Error ! -------------------");
  window_.AddLine(entry);
  window_.AddLine("------------------------------------------------");
}

void CaptureLog::NoteLossBeforeClose() {
  NetLoss before;
  if (net_.Loss(before)) unclaimedBeforeClose_ = before.unclaimed;
}

RunCounts CaptureLog::CountRun(bool closing, bool* kept) {
  NetLoss now;
  *kept = net_.Loss(now);
  if (closing) {
    // What came for the names once the close removed them (what waited
    // in the wrapper for them, and what was still on its way) is lost
    // with the program, as what waits in the wrapper yet is.
    const std::uint64_t atClose =
        now.unclaimed >= unclaimedBeforeClose_ ? now.unclaimed - unclaimedBeforeClose_ : 0;
    now.waiting += atClose;
    now.unclaimed -= atClose;
  }
  RunCounts run;
  run.received = received_;
  run.recorded = recorded_;
  run.lost.queueFull = now.dropped;
  run.lost.malformed = now.malformed;
  // The wrapper's count of what came for the names while they were gone,
  // and the channel's of what it ignored meanwhile.
  run.lost.channelDown = now.unclaimed + channel_.DownDrops();
  run.lost.replay = channel_.ReplayDrops();
  // Before the close what waits in the wrapper is not lost: it is taken.
  run.lost.waitingAtClose = closing ? now.waiting : 0;
  run.lost.notWritten = packetLoss_.total;
  run.linesLost = logLoss_.total + errorLoss_.total;
  return run;
}

RunCounts CaptureLog::Counts() {
  if (totalsSaid_) return closeCounts_;
  bool kept = false;
  return CountRun(false, &kept);
}

void CaptureLog::ReportDatagramLoss(bool closing) {
  bool counted = false;
  const RunCounts run = CountRun(closing, &counted);
  const RunLoss& lost = run.lost;
  if (closing) {
    closeCounts_ = run;
    totalsSaid_ = true;
    if (settings_.retention.Enabled()) {
      char line[160];
      std::snprintf(line, sizeof line,
                    "Retention in this run: %" PRIu64 " files of %" PRIu64
                    " hours deleted (%" PRIu64 " bytes)",
                    retentionFiles_, retentionHours_, retentionBytes_);
      WriteLogLine(line);
    }
    char line[260];
    // The run's totals, always: a scraper's counters are checked by them.
    std::snprintf(line, sizeof line,
                  "Run totals: %" PRIu64 " datagrams received, %" PRIu64 " recorded",
                  run.received, run.recorded);
    WriteLogLine(line);
    // What was lost, only where something was.
    if (run.linesLost != 0 || lost.notWritten != 0) {
      std::snprintf(line, sizeof line,
                    "Lost in this run: %" PRIu64 " lines and %" PRIu64 " records not written",
                    run.linesLost, lost.notWritten);
      WriteLogLine(line);
    }
    // What still waits in the wrapper is lost with the program.
    if (lost.queueFull != 0 || lost.malformed != 0 || lost.channelDown != 0 ||
        lost.replay != 0 || lost.waitingAtClose != 0) {
      std::snprintf(line, sizeof line,
                    "Lost in this run: %" PRIu64 " datagrams dropped (queue full), %" PRIu64
                    " malformed, %" PRIu64 " while the channel was down, %" PRIu64
                    " during replay, %" PRIu64 " waiting at the close",
                    lost.queueFull, lost.malformed, lost.channelDown, lost.replay,
                    lost.waitingAtClose);
      WriteLogLine(line);
      events_.DatagramsLost(lost);
    }
    return;
  }
  // At most one line a minute, and only when a counter rose.
  if (lossLineTicks_ < kLossLineTicks) ++lossLineTicks_;
  if ((!counted && channel_.DownDrops() == 0) || lossLineTicks_ < kLossLineTicks) return;
  if (lost.queueFull == lossShown_.dropped && lost.malformed == lossShown_.malformed &&
      lost.channelDown == lossShown_.unclaimed) {
    return;
  }
  char line[220];
  std::snprintf(line, sizeof line,
                "Datagrams lost: %" PRIu64 " dropped (queue full), %" PRIu64 " malformed, %" PRIu64
                " while the channel was down, in this run",
                lost.queueFull, lost.malformed, lost.channelDown);
  lossShown_.dropped = lost.queueFull;
  lossShown_.malformed = lost.malformed;
  lossShown_.unclaimed = lost.channelDown;
  lossLineTicks_ = 0;
  WriteLogLine(line);
}

}  // namespace varnet
