// The window messages that ORM, the launcher and the programs it starts
// exchange, and the launcher's window class by which they find it. Fixed
// numbers: nothing is registered at run time. Portable.
#pragma once

namespace trelm {

constexpr const char* kLauncherClass = "Pellor";

constexpr unsigned kMsgAskClosedown = 0x0914;       // WM_USER + 1300
constexpr unsigned kMsgFindOrm = 0xC001;
constexpr unsigned kMsgFindOrmAlt = 0x07EF;         // WM_USER + 1007
constexpr unsigned kMsgOrmWindow = 0x07F0;          // WM_USER + 1008
constexpr unsigned kMsgOrmClientLeaving = 0x07F2;   // WM_USER + 1010
constexpr unsigned kMsgOrmRegisterClient = 0x0806;  // WM_USER + 1030
constexpr unsigned kMsgOrmClosing = 0x087F;         // WM_USER + 1151
constexpr unsigned kMsgAppReady = 0xC009;
constexpr unsigned kMsgAppReadyAlt = 0xC00B;

}  // namespace trelm
