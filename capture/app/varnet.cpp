// Start-up, the datagrams handed to the log and the decoders, commands,
// keys, timers, the show toggles, the screen pause, the device filter dialog
// and the orderly shutdown.
#include "app/varnet.h"

#include <cstdio>

#include "path_join.h"

namespace varnet {

void Varnet::OnWindowCreated() {
  for (int i = 0; i < kBlankLines; ++i) host_.AddLine("");
}

void Varnet::RunningTitle(char* out, std::size_t size) const {
  std::snprintf(out, size, "Trelm Tessik Log - V%s - Channel %d", kVersion,
                static_cast<int>(settings_.channel));
}

void Varnet::TitleHourLog(const char* logName) {
  char title[kPathSize + 96];
  std::snprintf(title, sizeof title, "Trelm Tessik Log - V%s - Channel %d - %s", kVersion,
                static_cast<int>(settings_.channel), logName);
  host_.SetTitle(title);
}

bool Varnet::Startup() {
  log_.Restart();
  figures_ = RunFigures();
  figures_.runStart = host_.UtcFileTime();
  filterCreated_ = false;
  configOpen_ = false;
  channel_.ClearState();

  char fault[400];
  if (!ReadSettings(profiles_, host_, host_, settings_, filters_, fault, sizeof fault)) {
    host_.ShowError(fault);
    host_.PostQuit(0);
    return false;
  }
  // One run at a time writes a log directory: a second would write the
  // same hour's files.
  if (!host_.HoldDirectory(settings_.logFilePath)) {
    char text[kPathSize + 96];
    std::snprintf(text, sizeof text,
                  "Varnet is already running with the log directory '%s'", settings_.logFilePath);
    host_.ShowError(text);
    host_.PostQuit(0);
    return false;
  }
  // Found before this run's files are opened: they may be the newest.
  log_.FindRunTag();
  // The run's first log lines: they open the hour's files.
  WriteLogLine("Configuration Path:");
  WriteLogLine(settings_.varnetIni);
  if (closing_) return false;  // the log could not be opened

  // Channels outside 1..99 use the plain names; the title then shows 0.
  settings_.channel = UsableChannel(settings_.channel);
  channel_.Register();
  if (closing_) return false;  // a name could be neither added nor deleted

  host_.RegisterBorlandControls();
  char system[256];
  host_.LookupSystemPath(system, sizeof system);
  char library[300];
  trelm::JoinPath(system, "TRELM_CC.DLL", library, sizeof library);
  controlLibraryLoaded_ = host_.LoadControlLibrary(library);
  if (!controlLibraryLoaded_) {
    char text[400];
    std::snprintf(text, sizeof text,
                  "Unable to load TRELM_CC.DLL. Please check that this file exists in the %s "
                  "directory",
                  system);
    host_.ShowError(text);
    host_.PostQuit(0);
    return false;
  }

  char title[kPathSize + 96];
  RunningTitle(title, sizeof title);
  host_.SetTitle(title);
  log_.ResetIdle();
  receiveCounter_ = 0;
  WriteLogLine("Varnet started...");
  events_.Started(kVersion, static_cast<int>(settings_.channel), settings_.logFilePath);
  for (const ShowFlagInfo& info : kShowFlags) {
    const bool on = FlagValue(settings_, info.flag) != 0;
    host_.CheckMenuItem(info.menuId, on);
    WriteLogLine(on ? info.onLine : info.offLine);
  }
  if (settings_.retentionFault[0] != '\0') WriteLogLine(settings_.retentionFault);
  if (settings_.retentionNote[0] != '\0') WriteLogLine(settings_.retentionNote);
  SetTimer(kTimerIdle, 1000);
  SetTimer(kTimerWatchdog, 60000);
  channel_.WatchdogReport();
  StartMetrics();
  return true;
}

void Varnet::StartMetrics() {
  const MetricsSettings& m = settings_.metrics;
  if (m.note[0] != '\0') WriteLogLine(m.note);
  metrics_.Restart();
  if (!metrics_.On()) return;
  char line[kMetricsPathMost + 96];
  std::snprintf(line, sizeof line, "Metrics file '%s' written every %d seconds", m.file,
                static_cast<int>(m.seconds));
  WriteLogLine(line);
  WriteMetrics();
}

void Varnet::WriteMetrics() {
  if (!metrics_.On()) return;
  figures_.counts = log_.Counts();
  figures_.channelUp = !channel_.InReset();
  figures_.retentionDeletedFiles = log_.RetentionFiles();
  figures_.retentionDeletedBytes = log_.RetentionBytes();
  metrics_.Write(figures_);
}

void Varnet::OnDatagram(std::uint8_t type, const std::uint8_t (&buffer)[kDatagramSize + 1],
                        std::uint16_t length, const Arrival* arrival) {
  log_.RecordDatagram(type, buffer, length, arrival);
  const DatagramFacts& facts = type == kRecordCommand
                                   ? decoder_.DecodeCommand(buffer)
                                   : decoder_.DecodeRevertive(buffer, receiveCounter_);
  // When it and the devices of its lines were heard, for the metrics file.
  if (metrics_.On()) {
    figures_.lastDatagram = host_.UtcFileTime();
    for (int device : facts.devices) {
      if (device > 0 && device < kDevices) figures_.deviceHeard[device] = figures_.lastDatagram;
    }
  }
}

void Varnet::IdleTick() {
  log_.IdleTick();
  receiveCounter_ = 0;
  channel_.Refill();
  log_.ReportDatagramLoss(false);
  if (metrics_.Due()) WriteMetrics();
}

void Varnet::SetTimer(unsigned id, unsigned ms) {
  host_.SetTimer(id, ms);
  if (id < sizeof timersDue_ / sizeof timersDue_[0]) timersDue_[id] = {ms, host_.Ticks()};
}

void Varnet::KillTimer(unsigned id) {
  host_.KillTimer(id);
  if (id < sizeof timersDue_ / sizeof timersDue_[0]) timersDue_[id].ms = 0;
}

void Varnet::OnNetCompletion(unsigned code, NetRequest request) {
  channel_.OnCompletion(code, request);
  CatchUp();
}

void Varnet::CatchUp() {
  if (closing_) return;
  // Lines held kFlushMs go out, whatever the completions bring.
  log_.FlushIfDue(host_.Now());
  // A timer's message waits while posted ones come (a backlog of
  // completions, an analysis): one that is half an interval late runs here.
  const std::uint64_t now = host_.Ticks();
  for (unsigned id : {kTimerIdle, kTimerReset, kTimerWatchdog}) {
    const TimerDue& due = timersDue_[id];
    if (due.ms != 0 && now - due.since >= due.ms + due.ms / 2) OnTimer(id);
  }
}

bool Varnet::TakeTimerTurn(unsigned id) {
  // The timer's own message, held back behind what ran it late, comes just
  // after that run: a quarter of an interval since the last run is the
  // same turn, not the next.
  TimerDue& due = timersDue_[id];
  const std::uint64_t now = host_.Ticks();
  if (due.ms != 0 && now - due.since < due.ms / 4) return false;
  due.since = now;
  return true;
}

void Varnet::CloseProgram() {
  // Once per run: a file error while closing must not close again.
  if (closing_) return;
  closing_ = true;
  KillTimer(kTimerIdle);
  KillTimer(kTimerWatchdog);
  // No reset attempt may add the names again after they were removed.
  KillTimer(kTimerReset);
  analysis_.Stop();
  // The names go first; what was on its way (completions in the window's
  // queue, and those the wrapper still posts as the names go) is then
  // taken, and only then are the run's figures complete.
  log_.NoteLossBeforeClose();
  channel_.Close();
  host_.TakeWaitingCompletions();
  // What is held goes out now, so that a record the file refuses is in
  // the totals and not lost after them.
  log_.FlushFiles();
  // What was lost in this run, just before the close line.
  log_.ReportDatagramLoss(true);
  // The metrics file a last time, with the counts the totals said.
  WriteMetrics();
  WriteLogLine("Log Closed");
  events_.Closed(log_.Counts());
  // The hour's streams stay open: a caller may still be inside WriteLogLine.
  host_.DeleteDisplayFont();
  host_.ClearDisplay();
  // The dialogs' buttons belong to TRELM_CC.DLL: they go before it does.
  packets_.Destroy();
  if (filterCreated_) {
    configOpen_ = false;
    host_.DestroyFilterDialog();
    filterCreated_ = false;
  }
  if (controlLibraryLoaded_) {
    host_.FreeControlLibrary();
    controlLibraryLoaded_ = false;
  }
  host_.PostQuit(0);
}

void Varnet::ToggleShowFlag(const ShowFlagInfo& info, bool writeBack) {
  std::int32_t& value = FlagValue(settings_, info.flag);
  value = value == 0 ? 1 : 0;
  host_.CheckMenuItem(info.menuId, value != 0);
  WriteLogLine(value != 0 ? info.onLine : info.offLine);
  if (writeBack) {
    profiles_.ProfileWrite("Network", info.key, value != 0 ? "1" : "0", settings_.varnetIni);
  }
}

void Varnet::OnCommand(std::uintptr_t wParam) {
  // The whole parameter: a command with a notification code matches nothing.
  if (const ShowFlagInfo* info = FindShowFlag(static_cast<unsigned>(wParam));
      info != nullptr && wParam == info->menuId) {
    ToggleShowFlag(*info, true);
    return;
  }
  switch (wParam) {
    case kCmdExit:
      CloseProgram();
      break;
    case kCmdClear:
      host_.ClearDisplay();
      for (int i = 0; i < kBlankLines; ++i) host_.AddLine("");
      break;
    case kCmdDeviceFilter:
      if (!filterCreated_) {
        filterCreated_ = true;
        // A dialog that could not be made must not block the command for good.
        if (!host_.CreateFilterDialog()) {
          filterCreated_ = false;
          configOpen_ = false;
        }
      }
      break;
    case kCmdAbout:
      host_.ShowAbout();
      break;
    case kCmdPacket:
      packets_.Open();
      break;
    case kCmdAnalyse:
      AnalyseLog();
      break;
    default:
      break;
  }
}

void Varnet::OnTimer(unsigned id) {
  switch (id) {
    case kTimerIdle:
      if (TakeTimerTurn(id)) IdleTick();
      break;
    case kTimerWatchdog:
      if (TakeTimerTurn(id)) channel_.WatchdogReport();
      break;
    case kTimerReset:
      if (TakeTimerTurn(id)) channel_.ResetRetry();
      break;
    case kTimerFlush:
      // Once: the next line or record sets it again.
      host_.KillTimer(kTimerFlush);
      log_.FlushFiles();
      break;
    default:
      break;
  }
}

void Varnet::TogglePause(bool byMouse) {
  char title[kPathSize + 96];
  if (log_.DisplayLive()) {
    std::snprintf(title, sizeof title, "Trelm Tessik Log - V%s - Channel %d - ! Screen Paused !",
                  kVersion, static_cast<int>(settings_.channel));
    host_.SetTitle(title);
    log_.SetDisplayLive(false);
    return;
  }
  if (byMouse) {
    const LocalTime now = host_.Now();
    std::snprintf(title, sizeof title, "Trelm Tessik Log - V%s - Channel %d - %s\\%04d%02d%02d.%02d",
                  kVersion, static_cast<int>(settings_.channel), settings_.logFilePath, now.year,
                  now.month, now.day, now.hour);
  } else {
    RunningTitle(title, sizeof title);
  }
  host_.SetTitle(title);
  log_.SetDisplayLive(true);
}

void Varnet::OnChar(unsigned character) {
  // Space pauses; every other key, and space while a replay runs, steps
  // the replay, but only while the Packet dialog is open: a key typed
  // after it closed must never send recorded traffic.
  if (character == ' ' && !channel_.ReplayRunning()) {
    TogglePause(false);
  } else if (packets_.IsOpen()) {
    packets_.Step();
  }
}

void Varnet::OnLeftButton() { TogglePause(true); }

void Varnet::AnalyseLog() {
  if (analysis_.Start()) AnalyseStep();
}

void Varnet::AnalyseStep() {
  if (!analysis_.Running()) return;
  // The timers wait behind the pieces' messages.
  CatchUp();
  analysis_.Step();
}

void Varnet::FilterOnInit() {
  host_.SetIndicatorText("- - -");
  selectedDevice_ = 1;
  configOpen_ = true;
  host_.AddLine("Config on.");
  UpdateIndicator();
}

void Varnet::FilterOnList(int selection) {
  if (selection >= 0 && selection < kDevices - 1) selectedDevice_ = selection + 1;
  UpdateIndicator();
}

void Varnet::UpdateIndicator() {
  const bool enabled = filters_.Enabled(selectedDevice_);
  host_.SetIndicatorText(enabled ? "/__2B__" : "/__1B__");
  host_.SetIndicatorText(enabled ? "Enabled" : "Disabled");
}

void Varnet::FilterOnCommand(int id) {
  char file[kPathSize];
  switch (id) {
    case kFilterToggle: {
      const std::int32_t value = filters_.Enabled(selectedDevice_) ? 0 : 1;
      filters_.commands[selectedDevice_] = value;
      filters_.revertives[selectedDevice_] = value;
      UpdateIndicator();
      break;
    }
    case kFilterEnableAll:
    case kFilterDisableAll: {
      const std::int32_t value = id == kFilterEnableAll ? 1 : 0;
      for (int d = 1; d < kDevices; ++d) {
        filters_.commands[d] = value;
        filters_.revertives[d] = value;
      }
      UpdateIndicator();
      break;
    }
    case kFilterLoad:
      host_.AddLine("Loading settings...");
      VarnetIniPath(host_, file, sizeof file);
      LoadFilters(profiles_, file, filters_);
      UpdateIndicator();
      host_.AddLine("Load complete.");
      break;
    case kFilterSave:
      host_.AddLine("Saving settings...");
      VarnetIniPath(host_, file, sizeof file);
      SaveFilters(profiles_, file, filters_);
      UpdateIndicator();
      host_.AddLine("Save complete.");
      break;
    case kFilterClose:
      configOpen_ = false;
      host_.DestroyFilterDialog();
      host_.AddLine("Config off.");
      filterCreated_ = false;
      break;
    default:
      break;
  }
}

}  // namespace varnet
