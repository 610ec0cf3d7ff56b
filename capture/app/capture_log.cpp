// The log-line operation, the hour's files and the error log.
#include <cstdio>
#include <cstring>

#include "path_join.h"
#include "varnet.h"

namespace varnet {

namespace {
constexpr std::size_t kLineBuffer = 768;

void HourFileName(const char* dir, const char* prefix, const LocalTime& t, char* out,
                  std::size_t size) {
  std::snprintf(out, size, "%s\\%s%04d%02d%02d.%02d", dir, prefix, t.year, t.month, t.day,
                t.hour);
}

}  // namespace

void Varnet::WriteLogLine(const char* text) {
  if (LogDropsText(text, settings_.showNxMessages != 0)) return;
  const LocalTime now = host_.Now();
  if (!ReadyHourFiles(now)) return;

  char line[kLineBuffer];
  std::snprintf(line, sizeof line, "%02d:%02d:%02d-%02d - %s", now.hour, now.minute, now.second,
                now.milliseconds / 10, text);
  BlankFirstLineEnds(line);
  const std::size_t length = std::strlen(line);
  line[length] = '\n';
  logStream_->Write(line, length + 1);
  line[length] = '\0';

  if (length > kScreenCut) line[kScreenCut] = '\0';
  if (displayLive_) host_.AddLine(line);
  idleCounter_ = 0;
}

bool Varnet::ReadyHourFiles(const LocalTime& now) {
  if ((now.day != keyDay_ || now.hour != keyHour_) && logStream_ != nullptr) CloseHourFiles();
  if (logStream_ == nullptr) OpenHourFiles();
  return logStream_ != nullptr;
}

void Varnet::OnDatagram(std::uint8_t type, const std::uint8_t (&buffer)[kDatagramSize + 1],
                        std::uint16_t length) {
  // Every datagram is recorded while packets are saved, also when the
  // hour's files were closed for idleness or its lines are filtered out.
  if (settings_.savePackets != 0) {
    ReadyHourFiles(host_.Now());
    if (packetStream_ != nullptr) {
      std::uint8_t record[kRecordSize];
      BuildRecord(type, buffer, length, record);
      packetStream_->Write(record, sizeof record);
    }
  }
  if (type == kRecordCommand) {
    decoder_.DecodeCommand(buffer);
  } else {
    decoder_.DecodeRevertive(buffer, receiveCounter_);
  }
}

void Varnet::OpenHourFiles() {
  const LocalTime now = host_.Now();
  char logName[160];
  HourFileName(settings_.logFilePath, "LOG_", now, logName, sizeof logName);
  const bool newPeriod = now.day != keyDay_ || now.hour != keyHour_;
  if (newPeriod) {
    keyDay_ = now.day;
    keyHour_ = now.hour;
    if (displayLive_) {
      char title[256];
      std::snprintf(title, sizeof title, "Trelm Tessik Log - V%s - Channel %d - %s", kVersion,
                    static_cast<int>(settings_.channel), logName);
      host_.SetTitle(title);
    }
  }

  logStream_ = host_.OpenFile(logName, "a");
  if (logStream_ == nullptr) {
    if (!errorReported_) {
      host_.ShowError("Unable to open log file");
      errorReported_ = true;
      CloseProgram();
    }
  } else if (newPeriod) {
    char line[256];
    std::snprintf(line, sizeof line, "Capture Log opened...'%s'", logName);
    WriteLogLine(line);
  }

  if (settings_.savePackets != 0) {
    char packetName[160];
    HourFileName(settings_.logFilePath, "PKT_", now, packetName, sizeof packetName);
    packetStream_ = host_.OpenFile(packetName, "a+b");
    if (packetStream_ == nullptr) {
      if (!errorReported_) {
        host_.ShowError("Unable to open packet data file");
        CloseProgram();
      }
    } else if (newPeriod) {
      char line[256];
      std::snprintf(line, sizeof line, "Packet data file opened...'%s'", packetName);
      WriteLogLine(line);
    }
  }
}

void Varnet::CloseHourFiles() {
  CloseStreams();
  receiveCounter_ = 0;
}

void Varnet::CloseStreams() {
  logStream_.reset();
  packetStream_.reset();
}

void Varnet::IdleTick() {
  if (++idleCounter_ >= kIdleLimit) {
    CloseStreams();
    idleCounter_ = 0;
  }
  receiveCounter_ = 0;
}

void Varnet::WriteErrorLog(const char* text) {
  const LocalTime now = host_.Now();
  char name[128];
  trelm::JoinPath(settings_.logFilePath, "ERRORLOG.TXT", name, sizeof name);
  std::unique_ptr<Stream> file = host_.OpenFile(name, "a");
  if (file == nullptr) {
    host_.ShowError("Unable to open error log file");
    return;
  }
  char entry[kLineBuffer];
  std::snprintf(entry, sizeof entry, "%02d/%02d/%04d %02d:%02d:%02d - %s", now.day, now.month,
                now.year, now.hour, now.minute, now.second, text);
  const std::size_t length = std::strlen(entry);
  entry[length] = '\n';
  file->Write(entry, length + 1);
  entry[length] = '\0';
  if (length > kScreenCut) entry[kScreenCut] = '\0';
  host_.AddLine("------------------ ! Error ! -------------------");
  host_.AddLine(entry);
  host_.AddLine("------------------------------------------------");
}

}  // namespace varnet
