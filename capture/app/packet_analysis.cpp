// The Packet dialog: viewing and replaying a packet data file.
#include "app/packet_analysis.h"

#include <cstdio>
#include <cstring>

#include "core/packet_dump.h"
#include "scan_int.h"

namespace varnet {

namespace {
// Windows runs no timer faster than this.
constexpr std::int64_t kShortestRate = 10;
constexpr std::int64_t kDefaultRate = 1000;
}  // namespace

void PacketAnalysis::Open() {
  if (open_) return;
  open_ = true;
  chosen_ = false;
  if (!host_.CreatePacketDialog()) open_ = false;
}

void PacketAnalysis::OnInit() {
  host_.PacketText(kPacketNumber, "1");
  host_.PacketListClear();
  commands_ = false;
  revertives_ = false;
  host_.PacketCheck(kReplayCommands, false);
  host_.PacketCheck(kReplayRevertives, false);
  host_.PacketEnable(kReplayCommands, settings_.commandReplayEnabled != 0);
  host_.PacketEnable(kReplayRevertives, settings_.revertiveReplayEnabled != 0);
  host_.PacketEnable(kReplayGo, false);
  host_.PacketEnable(kReplayStop, false);
  host_.PacketEnable(kReplayStep, false);
  shown_ = 1;
  channel_.SetReplayRunning(false);
  // The open-file dialog comes once the dialog stands.
  host_.PacketPostChooseFile();
}

void PacketAnalysis::ChooseFile() {
  if (!open_) return;
  host_.AddLine("------------------ Packet Analysis Start -------------------");
  host_.AddLine(settings_.logFilePath);
  char path[260] = "";
  if (!host_.ChooseFile("Open Packet File", true, settings_.logFilePath, path, sizeof path)) {
    if (!chosen_) Close();
    return;  // the file shown so far stays
  }
  host_.AddLine(path);
  host_.PacketText(0, path);
  host_.PacketText(kReplayStart, "1");
  host_.PacketText(kReplayRate, "1000");
  std::unique_ptr<InputFile> file = host_.OpenInput(path, false);
  if (file == nullptr) {
    host_.ShowError("Unable to open log file");
    return;
  }
  // The old file goes only once the new one is open.
  file_ = std::move(file);
  shown_ = 1;
  ShowRecord();
  chosen_ = true;
}

void PacketAnalysis::ShowRecord() {
  char line[kDumpLineSize];
  std::snprintf(line, sizeof line, "%lld", static_cast<long long>(shown_));
  host_.PacketText(kPacketNumber, line);
  host_.PacketListClear();
  if (file_ == nullptr) return;
  std::uint8_t bytes[kRecordSize];
  std::size_t got = 0;
  switch (ReadRecordAt(*file_, shown_, bytes, &got)) {
    case RecordRead::SeekFailed:
      return;
    case RecordRead::End:
      std::snprintf(line, sizeof line, "Packet: %04lld (%04llx) - not in this file",
                    static_cast<long long>(shown_), static_cast<unsigned long long>(shown_));
      host_.PacketListAdd(line);
      return;
    case RecordRead::Short:
      std::snprintf(line, sizeof line, "Packet: %04lld (%04llx) - incomplete, %d of 528 bytes",
                    static_cast<long long>(shown_), static_cast<unsigned long long>(shown_),
                    static_cast<int>(got));
      host_.PacketListAdd(line);
      return;
    case RecordRead::Ok:
      break;
  }
  RecordView record;
  ReadRecord(bytes, sizeof bytes, record);
  DumpHeader(shown_, record, line, sizeof line);
  host_.PacketListAdd(line);
  host_.PacketListAdd("  ");
  for (int i = 0; i < kDumpLines; ++i) {
    DumpLine(record.data, i, line);
    host_.PacketListAdd(line);
  }
}

std::int64_t PacketAnalysis::ReadNumber(int id, std::int64_t fallback) {
  char text[64] = "";
  host_.PacketReadText(id, text, sizeof text);
  std::int32_t value = 0;
  if (!trelm::ScanInt(text, value)) return fallback;
  return value;
}

void PacketAnalysis::OnCommand(int id) {
  switch (id) {
    case kPacketSelect:
      shown_ = ReadNumber(kPacketNumber, 0);
      ShowRecord();
      break;
    case kPacketNext:
      ++shown_;
      ShowRecord();
      break;
    case kPacketPrevious:
      if (shown_ > 1) --shown_;
      ShowRecord();
      break;
    case kPacketFile:
      ChooseFile();
      break;
    case kPacketClose:
      Close();
      break;
    case kReplayGo:
      StartReplay();
      break;
    case kReplayStop:
      StopReplay();
      break;
    case kReplayStep:
      Step();
      break;
    default:
      break;
  }
}

void PacketAnalysis::OnCheck(int id, bool checked) {
  if (id == kReplayCommands) commands_ = checked;
  if (id == kReplayRevertives) revertives_ = checked;
  UpdateStepButtons();
}

void PacketAnalysis::UpdateStepButtons() {
  const bool any = commands_ || revertives_;
  host_.PacketEnable(kReplayGo, any);
  host_.PacketEnable(kReplayStep, any);
}

void PacketAnalysis::StartReplay() {
  host_.PacketEnable(kReplayGo, false);
  host_.PacketEnable(kReplayStep, false);
  host_.PacketEnable(kReplayStop, true);
  position_ = ReadNumber(kReplayStart, 0);
  if (position_ <= 0) position_ = 1;
  // A rate that is no number gives the default; below the shortest a timer
  // can run, the shortest.
  std::int64_t interval = ReadNumber(kReplayRate, kDefaultRate);
  if (interval < kShortestRate) interval = kShortestRate;
  // Running before the first step, so that a first step that stops the
  // replay leaves it stopped.
  channel_.SetReplayRunning(true);
  host_.PacketTimer(static_cast<unsigned>(interval));
  Step();
}

void PacketAnalysis::StopReplay() {
  host_.PacketEnable(kReplayGo, true);
  host_.PacketEnable(kReplayStep, true);
  host_.PacketEnable(kReplayStop, false);
  host_.PacketTimer(0);
  char text[32];
  std::snprintf(text, sizeof text, "%lld", static_cast<long long>(position_));
  host_.PacketText(kReplayStart, text);
  channel_.SetReplayRunning(false);
}

void PacketAnalysis::Step() {
  char text[kDatagramSize + 1];
  std::snprintf(text, sizeof text, "%lld", static_cast<long long>(position_));
  host_.PacketText(kReplayPosition, text);
  if (file_ != nullptr) {
    std::uint8_t bytes[kRecordSize];
    const RecordRead read = ReadRecordAt(*file_, position_, bytes);
    RecordView record;
    ReadRecord(bytes, sizeof bytes, record);
    if (read == RecordRead::SeekFailed) {
      host_.AddLine("STOPPED");
      StopReplay();
    } else if (read != RecordRead::Ok || !RecordFault(record).empty()) {
      // The end of the file, a record cut short, a type of no kind or a
      // length that would send more than the record holds.
      host_.AddLine("STOPPED due to header");
      StopReplay();
    } else if (record.type == kRecordCommand) {
      if (commands_) {
        std::memcpy(text, record.data, kDatagramSize);
        text[kDatagramSize] = '\0';  // a text with no zero byte ends after the record
        host_.AddLine(text);
        channel_.Send(channel_.DeviceControlName(), record.data, record.length);
      }
    } else if (revertives_) {
      channel_.Send(channel_.OrmName(), record.data, record.length);
    }
  }
  ++position_;
}

void PacketAnalysis::Close() {
  // A replay stops with the dialog, so that reception and decoding go on.
  if (channel_.ReplayRunning()) StopReplay();
  host_.DestroyPacketDialog();
  host_.AddLine("------------------ Packet Analysis End -------------------");
  open_ = false;
  chosen_ = false;
}

void PacketAnalysis::Destroy() {
  if (!open_) return;
  host_.PacketTimer(0);
  channel_.SetReplayRunning(false);
  host_.DestroyPacketDialog();
  open_ = false;
  chosen_ = false;
}

}  // namespace varnet
