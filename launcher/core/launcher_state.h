// The launcher's process-wide state record and the fixed numbers it uses.
// Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

#include "orm_messages.h"

namespace pellor {

using WindowHandle = std::uintptr_t;  // 0 means none

constexpr const char* kLauncherTitle = "Trelm Launch V3.04.06";
constexpr const char* kMainClass = trelm::kLauncherClass;
constexpr const char* kIconName = "LaunchIcon";

// Window messages: WM_CLOSE, and those of ORM and the programs (one
// header for all who speak them).
constexpr unsigned kWmClose = 0x0010;
using trelm::kMsgAppReady;
using trelm::kMsgAppReadyAlt;
using trelm::kMsgAskClosedown;
using trelm::kMsgFindOrm;
using trelm::kMsgFindOrmAlt;
using trelm::kMsgOrmClientLeaving;
using trelm::kMsgOrmClosing;
using trelm::kMsgOrmRegisterClient;
using trelm::kMsgOrmWindow;

// Timers of the main window.
constexpr unsigned kTimerStep = 1;
constexpr unsigned kTimerStart = 2;
constexpr unsigned kTimerAppReady = 3;

constexpr unsigned kStartDelayMs = 1000;
constexpr unsigned kAppReadyTimeoutMs = 30000;
constexpr unsigned kOrmCloseFallbackMs = 10000;
constexpr int kAppReadyRetries = 3;

// Message box flags and answers, as Win32 numbers them.
constexpr unsigned kMbOk = 0x0000;
constexpr unsigned kMbYesNoCancel = 0x0003;
constexpr unsigned kMbIconError = 0x0010;
constexpr unsigned kMbIconQuestion = 0x0020;
constexpr unsigned kMbDefButton2 = 0x0100;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

constexpr int kSwShowNormal = 1;
constexpr unsigned kEwxLogoff = 0;
constexpr unsigned kExitReason = 0xFFFFFFFFu;

// Text fields. The file name comes from the command line as one word; a
// longer word is cut to the field.
constexpr std::size_t kLaunchFileNameSize = 128;
constexpr std::size_t kPathSize = 256;     // up to 255 characters
constexpr std::size_t kSectionSize = 32;

struct LauncherState {
  std::int32_t workstationNumber = 0;
  char launchFileName[kLaunchFileNameSize] = "";
  std::int32_t retryCount = 0;
  char workstationSection[kSectionSize] = "";
  char launchFilePath[kPathSize] = "";
  char startDrive[3] = "";
  std::int32_t debugMode = 0;
  std::int32_t quitWhenDone = 0;
  std::int32_t closeWaitSeconds = 0;
  WindowHandle mainWindow = 0;
  bool ormAtStart = false;
  WindowHandle ormWindow = 0;
  std::int32_t bootIndex = 0;
  bool directoryMode = false;
  char lastWaitEntry[kPathSize] = "";
  // ORM was asked to close and has not reported closing yet.
  bool ormCloseAwaited = false;
};

}  // namespace pellor
