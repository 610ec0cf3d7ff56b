// The Packet dialog: a packet data file's records as hex dumps, and their
// replay onto the channel at a set rate or step by step. Portable: the
// dialog, the open-file dialog and the file go through CaptureHost.
#pragma once

#include <cstdint>
#include <memory>

#include "app/capture_host.h"
#include "app/settings.h"
#include "app/varnet_ids.h"
#include "core/channel.h"

namespace varnet {

// Controls of the PACKET dialog.
enum : int {
  kPacketList = IDC_PACKET_LIST,
  kPacketNumber = IDC_PACKET_NUMBER,
  kPacketSelect = IDC_PACKET_SELECT,
  kPacketNext = IDC_PACKET_NEXT,
  kPacketPrevious = IDC_PACKET_PREVIOUS,
  kPacketFile = IDC_PACKET_FILE,
  kPacketClose = IDC_PACKET_CLOSE,
  kReplayStart = IDC_REPLAY_START,
  kReplayRate = IDC_REPLAY_RATE,
  kReplayPosition = IDC_REPLAY_POSITION,
  kReplayGo = IDC_REPLAY_GO,
  kReplayStop = IDC_REPLAY_STOP,
  kReplayCommands = IDC_REPLAY_COMMANDS,
  kReplayRevertives = IDC_REPLAY_REVERTIVES,
  kReplayStep = IDC_REPLAY_STEP,
};

class PacketAnalysis {
 public:
  PacketAnalysis(PacketDialogView& view, MainWindowView& window, CaptureFiles& files,
                 Channel& channel, const Settings& settings)
      : view_(view), window_(window), files_(files), channel_(channel), settings_(settings) {}

  // The "&Packet" command: the dialog, unless it is open already.
  void Open();
  // The dialog's WM_INITDIALOG; the file is chosen right after (ChooseFile).
  void OnInit();
  void ChooseFile();
  // A button of the dialog, or a check box with its new state.
  void OnCommand(int id);
  void OnCheck(int id, bool checked);
  // Timer 3, "Single|Step" and the main window's keys.
  void Step();
  // The program's end: the dialog goes and a replay stops.
  void Destroy();

  bool IsOpen() const { return open_; }
  bool Running() const { return channel_.ReplayRunning(); }
  std::int64_t Shown() const { return shown_; }
  std::int64_t Position() const { return position_; }
  bool HasFile() const { return file_ != nullptr; }

  static constexpr unsigned kReplayTimer = 3;

 private:
  void ShowRecord();
  void StartReplay();
  void StopReplay();
  void Close();
  void UpdateStepButtons();
  // The number in an edit box, or the fallback when it holds none.
  std::int64_t ReadNumber(int id, std::int64_t fallback);

  PacketDialogView& view_;
  MainWindowView& window_;
  CaptureFiles& files_;
  Channel& channel_;
  const Settings& settings_;
  bool open_ = false;
  bool chosen_ = false;
  std::unique_ptr<InputFile> file_;
  std::int64_t shown_ = 1;
  std::int64_t position_ = 0;  // 0 until a replay starts in this run
  bool commands_ = false;
  bool revertives_ = false;
};

}  // namespace varnet
