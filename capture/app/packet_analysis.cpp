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
  if (!view_.CreatePacketDialog()) open_ = false;
}

void PacketAnalysis::OnInit() {
  view_.PacketText(kPacketNumber, "1");
  view_.PacketListClear();
  commands_ = false;
  revertives_ = false;
  view_.PacketCheck(kReplayCommands, false);
  view_.PacketCheck(kReplayRevertives, false);
  view_.PacketEnable(kReplayCommands, settings_.commandReplayEnabled != 0);
  view_.PacketEnable(kReplayRevertives, settings_.revertiveReplayEnabled != 0);
  view_.PacketEnable(kReplayGo, false);
  view_.PacketEnable(kReplayStop, false);
  view_.PacketEnable(kReplayStep, false);
  shown_ = 1;
  channel_.SetReplayRunning(false);
  // The open-file dialog comes once the dialog stands.
  view_.PacketPostChooseFile();
}

void PacketAnalysis::ChooseFile() {
  if (!open_) return;
  window_.AddLine("------------------ Packet Analysis Start -------------------");
  window_.AddLine(settings_.logFilePath);
  char path[260] = "";
  if (!window_.ChooseFile("Open Packet File", true, settings_.logFilePath, path, sizeof path)) {
    if (!chosen_) Close();
    return;  // the file shown so far stays
  }
  window_.AddLine(path);
  view_.PacketText(0, path);
  view_.PacketText(kReplayStart, "1");
  view_.PacketText(kReplayRate, "1000");
  std::unique_ptr<InputFile> file = files_.OpenInput(path, false);
  if (file == nullptr) {
    window_.ShowError("Unable to open log file");
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
  view_.PacketText(kPacketNumber, line);
  view_.PacketListClear();
  if (file_ == nullptr) return;
  std::uint8_t bytes[kRecordSize];
  std::size_t got = 0;
  switch (ReadRecordAt(*file_, shown_, bytes, &got)) {
    case RecordRead::SeekFailed:
      return;
    case RecordRead::End:
      std::snprintf(line, sizeof line, "Packet: %04lld (%04llx) - not in this file",
                    static_cast<long long>(shown_), static_cast<unsigned long long>(shown_));
      view_.PacketListAdd(line);
      return;
    case RecordRead::Short:
      std::snprintf(line, sizeof line, "Packet: %04lld (%04llx) - incomplete, %d of 528 bytes",
                    static_cast<long long>(shown_), static_cast<unsigned long long>(shown_),
                    static_cast<int>(got));
      view_.PacketListAdd(line);
      return;
    case RecordRead::Ok:
      break;
  }
  RecordView record;
  ReadRecord(bytes, sizeof bytes, record);
  DumpHeader(shown_, record, line, sizeof line);
  view_.PacketListAdd(line);
  view_.PacketListAdd("  ");
  for (int i = 0; i < kDumpLines; ++i) {
    DumpLine(record.data, i, line);
    view_.PacketListAdd(line);
  }
}

std::int64_t PacketAnalysis::ReadNumber(int id, std::int64_t fallback) {
  char text[64] = "";
  view_.PacketReadText(id, text, sizeof text);
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
  view_.PacketEnable(kReplayGo, any);
  view_.PacketEnable(kReplayStep, any);
}

void PacketAnalysis::StartReplay() {
  view_.PacketEnable(kReplayGo, false);
  view_.PacketEnable(kReplayStep, false);
  view_.PacketEnable(kReplayStop, true);
  position_ = ReadNumber(kReplayStart, 0);
  if (position_ <= 0) position_ = 1;
  // A rate that is no number gives the default; below the shortest a timer
  // can run, the shortest.
  std::int64_t interval = ReadNumber(kReplayRate, kDefaultRate);
  if (interval < kShortestRate) interval = kShortestRate;
  // Running before the first step, so that a first step that stops the
  // replay leaves it stopped.
  channel_.SetReplayRunning(true);
  view_.PacketTimer(static_cast<unsigned>(interval));
  Step();
}

void PacketAnalysis::StopReplay() {
  view_.PacketEnable(kReplayGo, true);
  view_.PacketEnable(kReplayStep, true);
  view_.PacketEnable(kReplayStop, false);
  view_.PacketTimer(0);
  char text[32];
  std::snprintf(text, sizeof text, "%lld", static_cast<long long>(position_));
  view_.PacketText(kReplayStart, text);
  channel_.SetReplayRunning(false);
}

void PacketAnalysis::Step() {
  char text[kDatagramSize + 1];
  std::snprintf(text, sizeof text, "%lld", static_cast<long long>(position_));
  view_.PacketText(kReplayPosition, text);
  if (file_ != nullptr) {
    std::uint8_t bytes[kRecordSize];
    const RecordRead read = ReadRecordAt(*file_, position_, bytes);
    RecordView record;
    ReadRecord(bytes, sizeof bytes, record);
    if (read == RecordRead::SeekFailed) {
      window_.AddLine("STOPPED");
      StopReplay();
    } else if (read != RecordRead::Ok || !RecordFault(record).empty()) {
      // The end of the file, a record cut short, a type of no kind or a
      // length that would send more than the record holds.
      window_.AddLine("STOPPED due to header");
      StopReplay();
    } else if (record.type == kRecordCommand) {
      if (commands_) {
        std::memcpy(text, record.data, kDatagramSize);
        text[kDatagramSize] = '\0';  // a text with no zero byte ends after the record
        window_.AddLine(text);
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
  view_.DestroyPacketDialog();
  window_.AddLine("------------------ Packet Analysis End -------------------");
  open_ = false;
  chosen_ = false;
}

void PacketAnalysis::Destroy() {
  if (!open_) return;
  view_.PacketTimer(0);
  channel_.SetReplayRunning(false);
  view_.DestroyPacketDialog();
  open_ = false;
  chosen_ = false;
}

}  // namespace varnet
