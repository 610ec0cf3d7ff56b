#include "core/launcher.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "path_join.h"

namespace pellor {

namespace {

constexpr const char* kNetworkSection = "Network";
constexpr std::size_t kValueSize = 256;
constexpr std::size_t kLogLineSize = 512;
// Room for a path of 255 characters with the start drive put in front.
constexpr std::size_t kPrefixedPathSize = kPathSize + 2;
// A value no launch list holds: tells a missing key from an empty one.
constexpr const char* kMissingKey = "\x01\x02missing";

// The screen of a check: nothing is shown, sent or ended, and a question
// is answered no.
class NoScreen final : public LauncherScreen {
 public:
  void Send(WindowHandle, unsigned, std::uintptr_t, std::intptr_t) override {}
  void Broadcast(unsigned, std::uintptr_t, std::intptr_t) override {}
  void PostToMain(unsigned) override {}
  int ShowMessageBox(WindowHandle, const char*, const char*, unsigned) override { return kIdNo; }
  void EndWindowsSession(unsigned, unsigned) override {}
  void OpenDebugWindow() override {}
  void DebugLogAdd(const char*) override {}
  void DestroyDebugWindow() override {}
  void DestroyMainWindow() override {}
  void PostQuit(int) override {}
};

LauncherScreen& Silent() {
  static NoScreen screen;
  return screen;
}

trelm::EventReport& Unreported() {
  static trelm::NoEventReport events;
  return events;
}

}  // namespace

Launcher::Launcher(trelm::ProfileAccess& profiles, LaunchActions& actions)
    : profiles_(profiles), actions_(actions), screen_(Silent()), events_(Unreported()) {}

void Launcher::LogLine(const char* format, ...) {
  if (state_.debugMode == 0) return;
  char line[kLogLineSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  screen_.DebugLogAdd(line);
}

void Launcher::ScanCommandLine(const char* commandLine) {
  // The defaults are appended, so that what the command line lacks is
  // taken from them: " %d %s" over at most 255 characters.
  char line[kPathSize];
  std::snprintf(line, sizeof line, "%s 1000 LAUNCH.INI", commandLine ? commandLine : "");

  const char* p = line;
  std::int32_t number = 0;
  if (!ScanInt(p, number, &p)) return;  // no number: nothing is assigned
  state_.workstationNumber = number;

  const char* word = SkipBlanks(p);
  p = SkipWord(word);
  // One word into a fixed field: a longer word is cut, never overruns it.
  std::size_t length = static_cast<std::size_t>(p - word);
  if (length >= sizeof state_.launchFileName) length = sizeof state_.launchFileName - 1;
  std::memcpy(state_.launchFileName, word, length);
  state_.launchFileName[length] = '\0';

  // 1000 is the appended default: the command line held no number.
  if (state_.workstationNumber == 1000) state_.workstationNumber = 0;
}

bool Launcher::FindWorkstation() {
  state_.retryCount = 0;
  char directory[kPathSize];
  actions_.LookupConfigPath(directory, sizeof directory);
  char ormIni[kPathSize + 16];
  trelm::JoinPath(directory, "ORM.INI", ormIni, sizeof ormIni);

  if (state_.workstationNumber == 0) {
    char value[kValueSize];
    profiles_.ProfileRead(kNetworkSection, "Workstation", "-1", value, sizeof value, ormIni);
    std::int32_t number = 0;
    ScanInt(value, number);
    if (number == -1 || number == 0) {
      std::string text = "The workstation number has not been set in the ";
      text += directory;
      text += "\\ORM.INI file. Please correct this before running Launch again. ";
      screen_.ShowMessageBox(0, text.c_str(), "! Launch Error !", kMbIconError | kMbOk);
      return false;
    }
    state_.workstationNumber = number;
  }
  std::snprintf(state_.workstationSection, sizeof state_.workstationSection,
                "Workstation_%03d", static_cast<int>(state_.workstationNumber));
  return true;
}

void Launcher::JoinLaunchFile(char* out, std::size_t size) {
  char directory[kPathSize];
  actions_.LookupConfigPath(directory, sizeof directory);
  trelm::JoinPath(directory, state_.launchFileName, out, size);
}

void Launcher::PrepareCheck(const char* fileName, const char* section) {
  std::snprintf(state_.launchFileName, sizeof state_.launchFileName, "%s", fileName);
  LocateLaunchFile();
  std::snprintf(state_.workstationSection, sizeof state_.workstationSection, "%s", section);
  ReadSettings();
  // With CloseRunningORMandWait 0 a running ORM is left alone, and the
  // list's ORM entry is skipped: the check takes ORM to be running then.
  state_.ormAtStart = state_.closeWaitSeconds <= 0;
}

void Launcher::LocateLaunchFile() {
  JoinLaunchFile(state_.launchFilePath, sizeof state_.launchFilePath);
  trelm::CopyCut(state_.launchFilePath, state_.startDrive, sizeof state_.startDrive);
}

std::int32_t Launcher::ReadSetting(const Setting& setting) {
  char value[kValueSize];
  profiles_.ProfileRead(state_.workstationSection, setting.key, "-1", value, sizeof value,
                        state_.launchFilePath);
  std::int32_t number = 0;  // text that is not a number counts as 0
  SettingNumber(value, &number);
  if (number == -1) {
    // Missing (or stored as -1): the file fills itself in. If it cannot be
    // written, the default is used all the same.
    profiles_.ProfileWrite(state_.workstationSection, setting.key, setting.defaultText,
                           state_.launchFilePath);
    SettingNumber(setting.defaultText, &number);
  }
  return number;
}

void Launcher::ReadSettings() {
  state_.debugMode = ReadSetting(kDebugMode);
  if (state_.debugMode != 0) {
    screen_.OpenDebugWindow();
    LogLine("Pellor running...");
  }
  state_.quitWhenDone = ReadSetting(kQuitWhenDone);
  state_.closeWaitSeconds = ReadSetting(kCloseRunningOrmAndWait);
  if (state_.closeWaitSeconds > kCloseWaitMaxSeconds) state_.closeWaitSeconds = kCloseWaitMaxSeconds;
}

bool Launcher::DetectOrm() {
  state_.ormWindow = 0;
  LogLine("Checking for existing instance of ORM");
  // ORM answers with MSG_ORM_WINDOW while it handles the query, so the
  // answer is in ormWindow when the broadcast returns.
  screen_.Broadcast(kMsgFindOrm, state_.mainWindow, 0);
  if (state_.ormWindow == 0) screen_.Broadcast(kMsgFindOrmAlt, state_.mainWindow, 0);
  state_.ormAtStart = state_.ormWindow != 0;
  if (state_.ormWindow == 0) {
    LogLine("ORM not found");
    return false;
  }
  LogLine("ORM is running");
  return true;
}

void Launcher::OnCreate(WindowHandle mainWindow) {
  state_.mainWindow = mainWindow;
  state_.bootIndex = 0;
  actions_.ArmTimer(kTimerStart, kStartDelayMs);
}

void Launcher::LeavingNotice() {
  if (state_.ormWindow == 0) return;
  screen_.Send(state_.ormWindow, kMsgOrmClientLeaving, state_.mainWindow & 0xFFFF, 2);
}

void Launcher::OnClose() {
  LeavingNotice();
  screen_.PostToMain(kMsgAskClosedown);
}

void Launcher::OnAskClosedown() {
  if (ended_) return;
  int answer = screen_.ShowMessageBox(state_.mainWindow, "Closedown Windows as well?",
                                      kLauncherTitle,
                                      kMbYesNoCancel | kMbIconQuestion | kMbDefButton2);
  // With QuitWhenDone the launcher ends only by itself.
  if (state_.quitWhenDone != 0) return;
  if (answer == kIdYes) {
    Shutdown();
    screen_.EndWindowsSession(kEwxLogoff, kExitReason);
  } else if (answer == kIdNo) {
    Shutdown();
  }
}

void Launcher::Shutdown() {
  // A second close question answered after the first one ended the
  // launcher must not end it twice.
  if (ended_) return;
  ended_ = true;
  LeavingNotice();
  if (state_.debugMode != 0) screen_.DestroyDebugWindow();
  screen_.DestroyMainWindow();
  screen_.PostQuit(0);
}

void Launcher::OnTimer(unsigned id) {
  if (ended_) return;
  switch (id) {
    case kTimerStart:
      actions_.KillTimer(kTimerStart);
      if (state_.ormWindow != 0 && state_.closeWaitSeconds > 0) {
        CloseHandshake();
      } else {
        actions_.ArmTimer(kTimerStep, 10);
        LogLine("Starting workstation launch sequence");
      }
      break;
    case kTimerStep:
      if (state_.ormCloseAwaited) {
        // The fallback ran out: ORM never said it was closing.
        state_.ormCloseAwaited = false;
        events_.OrmNotClosed(kOrmCloseFallbackMs / 1000, state_.workstationSection);
      }
      Step();
      break;
    case kTimerAppReady:
      actions_.KillTimer(kTimerAppReady);
      if (state_.retryCount < kAppReadyRetries) {
        ++state_.retryCount;
        LogLine("APPREADY wait has timed out, retry attempt %d",
                static_cast<int>(state_.retryCount));
        events_.AppReadyTimedOut(state_.lastWaitEntry, kAppReadyTimeoutMs / 1000,
                                 static_cast<int>(state_.retryCount), kAppReadyRetries);
        --state_.bootIndex;  // the same entry again, read afresh from the file
        actions_.ArmTimer(kTimerStep, 10);
      } else {
        events_.AppReadyGaveUp(state_.lastWaitEntry, kAppReadyTimeoutMs / 1000,
                               kAppReadyRetries + 1);
        std::string text = state_.lastWaitEntry;
        text += " has repeatedly failed to start";
        screen_.ShowMessageBox(state_.mainWindow, text.c_str(), "Launch Error", kMbOk);
        Shutdown();
      }
      break;
    default:
      break;
  }
}

void Launcher::CloseHandshake() {
  const WindowHandle orm = state_.ormWindow;
  screen_.Send(orm, kMsgOrmRegisterClient, state_.mainWindow & 0xFFFF, 4);
  LogLine("Registering for client messages from ORM");
  // The fallback: the list starts after 10 s if ORM never reports closing.
  actions_.ArmTimer(kTimerStep, kOrmCloseFallbackMs);
  LogLine("Sending close message to ORM");
  // Until ORM reports closing (often while it handles the close itself).
  state_.ormCloseAwaited = true;
  screen_.Send(orm, kWmClose, 0, 0);
  state_.ormWindow = 0;
  state_.ormAtStart = false;  // the list's ORM entry starts a fresh ORM
}

void Launcher::OnOrmWindow(WindowHandle ormWindow) { state_.ormWindow = ormWindow; }

void Launcher::OnOrmClosing() {
  if (ended_) return;
  state_.ormCloseAwaited = false;
  LogLine("ORM is closing");
  actions_.KillTimer(kTimerStep);
  actions_.ArmTimer(kTimerStep, SecondsToTimerMs(state_.closeWaitSeconds));
  LogLine("Starting launch sequence in %d seconds", static_cast<int>(state_.closeWaitSeconds));
}

void Launcher::OnAppReady() {
  if (ended_) return;
  actions_.ArmTimer(kTimerStep, 1000);
  actions_.KillTimer(kTimerAppReady);
  state_.retryCount = 0;
}

void Launcher::LaunchListPath(char* out, std::size_t size) {
  char path[kPathSize];
  JoinLaunchFile(path, sizeof path);
  // Only when the configuration directory has moved to another drive
  // since start-up does the start drive go in front.
  if (SameDrive(path, state_.startDrive)) {
    trelm::CopyCut(path, out, size);
  } else {
    std::snprintf(out, size, "%s%s", state_.startDrive, path);
  }
}

StepEntry Launcher::ReadEntry(std::int32_t index) {
  StepEntry entry{};
  std::snprintf(entry.key, sizeof entry.key, "%s", BootKey(index).c_str());
  char path[kPrefixedPathSize];
  LaunchListPath(path, sizeof path);

  char value[kEntryBufferSize];
  std::size_t count = profiles_.ProfileRead(state_.workstationSection, entry.key, "", value,
                                            sizeof value, path);
  entry.text = value;
  CutComment(entry.text);
  if (EndsList(count, entry.text, state_.directoryMode)) {
    entry.kind = EntryKind::End;
    return entry;
  }
  entry.prefixed = ApplyDrivePrefix(entry.text, state_.startDrive, state_.directoryMode);
  LogLine("%s=%s", entry.key, entry.text.c_str());
  entry.kind = Classify(entry.text, state_.ormAtStart);
  return entry;
}

void Launcher::Step() {
  ++state_.bootIndex;
  actions_.KillTimer(kTimerStep);
  const StepEntry entry = ReadEntry(state_.bootIndex);
  switch (entry.kind) {
    case EntryKind::End:
      EndOfList();
      break;
    case EntryKind::Orm:
      LogLine("ORM is already running - not executing %s", entry.key);
      actions_.ArmTimer(kTimerStep, 10);
      state_.ormAtStart = false;
      break;
    case EntryKind::Pause: {
      int seconds = PauseSeconds(entry.text);
      LogLine("Delay = %d", seconds);
      actions_.ArmTimer(kTimerStep, SecondsToTimerMs(seconds));
      break;
    }
    case EntryKind::Directory:
      state_.directoryMode = true;  // whether or not the change works
      actions_.ChangeDirectory(DirectoryField(entry.text).c_str());
      actions_.ArmTimer(kTimerStep, 1000);
      break;
    case EntryKind::Wait:
      // Armed before the start, so the 30 s include the wait for input idle.
      actions_.ArmTimer(kTimerAppReady, kAppReadyTimeoutMs);
      StartEntry(entry, WaitCommand(entry.text));
      trelm::CopyCut(entry.text.c_str(), state_.lastWaitEntry, sizeof state_.lastWaitEntry);
      break;
    case EntryKind::Command:
      StartEntry(entry, entry.text);
      actions_.ArmTimer(kTimerStep, 1000);
      break;
  }
}

void Launcher::StartEntry(const StepEntry& entry, const std::string& commandLine) {
  // The list goes on as before; only the event log hears of a failure.
  std::string reason;
  if (!actions_.StartProgram(commandLine.c_str(), kSwShowNormal, reason)) {
    events_.EntryNotStarted(commandLine, reason, entry.key, state_.workstationSection);
  }
}

void Launcher::WriteTemplate(const char* file) {
  // Only keys that are missing are written: entries that already stand in
  // Boot_2 to Boot_10 (or a short Boot_1) are never wiped.
  for (int n = 1; n <= 10; ++n) {
    const std::string bootKey = BootKey(n);
    const char* key = bootKey.c_str();
    char value[kEntryBufferSize];
    profiles_.ProfileRead(state_.workstationSection, key, kMissingKey, value, sizeof value, file);
    if (std::strcmp(value, kMissingKey) == 0) {
      profiles_.ProfileWrite(state_.workstationSection, key, "", file);
    }
  }
}

void Launcher::EndOfList() {
  if (state_.bootIndex == 1) {
    char path[kPrefixedPathSize];
    LaunchListPath(path, sizeof path);
    WriteTemplate(path);
  }
  actions_.ArrangeIconicWindows();
  if (state_.quitWhenDone != 0) Shutdown();
}

}  // namespace pellor
