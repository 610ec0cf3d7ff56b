// The wrapper's reports and trace (report.h): lines appended to text
// files, never a modal box.
#include "report.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "settings.h"
#include "wrapper_state.h"

namespace velknb::dll {
namespace {

// Appends one line to a text file; true when it was written.
bool AppendLine(const std::string& file, const char* line) {
  if (file.empty()) return false;
  HANDLE h = CreateFileA(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(h, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr) &&
                  WriteFile(h, "\r\n", 2, &written, nullptr);
  CloseHandle(h);
  return ok;
}

}  // namespace

// A test aid: with VELKNB_TRACE set, name additions and deletions, resets
// and the counters at the end are written there.
void Trace(const char* format, ...) {
  if (g_wrapper->traceFile.empty()) return;
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  AppendLine(g_wrapper->traceFile, line);
}

const char* ReturnCodeText(UCHAR code) {
  switch (code) {
    case NRC_GOODRET: return "good return";
    case NRC_BUFLEN: return "illegal buffer length";
    case NRC_ILLCMD: return "illegal command";
    case NRC_CMDTMO: return "command timed out";
    case NRC_INCOMP: return "message incomplete";
    case NRC_SNUMOUT: return "session number out of range";
    case NRC_NORES: return "no resource available";
    case NRC_CMDCAN: return "command cancelled";
    case NRC_DUPNAME: return "duplicate name";
    case NRC_NAMTFUL: return "name table full";
    case NRC_ILLNN: return "illegal name number";
    case NRC_INUSE: return "name in use on remote adapter";
    case NRC_NAMERR: return "name deleted";
    case NRC_NAMCONF: return "name conflict detected";
    case NRC_IFBUSY: return "interface busy";
    case NRC_TOOMANY: return "too many commands outstanding";
    case NRC_BRIDGE: return "no such adapter";
    case NRC_ENVNOTDEF: return "environment undefined, reset required";
    case NRC_SYSTEM: return "system error";
    case NRC_PENDING: return "pending";
    default: return "unknown return code";
  }
}

// Reports go to the report file and the debugger, never to a modal box:
// the caller's window thread must go on taking completions.
void Report(const char* text) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char line[400];
  std::snprintf(line, sizeof line, "%02d/%02d/%04d %02d:%02d:%02d - %s", t.wDay, t.wMonth,
                t.wYear, t.wHour, t.wMinute, t.wSecond, text);
  OutputDebugStringA(line);
  std::string file;
  {
    Locked lock;
    Configure();
    file = g_wrapper->reportFile;
  }
  if (!AppendLine(file, line)) {
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    AppendLine(std::string(temp) + "VELKNB.LOG", line);
  }
}

}  // namespace velknb::dll
