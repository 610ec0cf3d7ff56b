// What the end-to-end tests share: build outputs named by the environment,
// files read back, windows found by class and caption, programs started and
// waited for. Win32; runs under Wine with the programs under test.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace trelm_e2e {

// A build output named by the test's environment, as a Windows path.
inline std::string Built(const char* variable) {
  const char* path = std::getenv(variable);
  if (path == nullptr) return std::string();
  std::string out = path;
  if (!out.empty() && out[0] == '/') {
    out = "Z:" + out;
    for (char& c : out) {
      if (c == '/') c = '\\';
    }
  }
  return out;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(path));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}


inline std::string Profile(const char* file, const char* section, const char* key) {
  char value[300];
  GetPrivateProfileStringA(section, key, "<absent>", value, sizeof value, file);
  return value;
}


struct FindArgs {
  DWORD pid;
  const char* className;
  const char* title;
  HWND found;
};

inline BOOL CALLBACK FindProc(HWND window, LPARAM lParam) {
  auto* args = reinterpret_cast<FindArgs*>(lParam);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (args->pid != 0 && pid != args->pid) return TRUE;
  char cls[64] = "";
  char title[128] = "";
  GetClassNameA(window, cls, sizeof cls);
  GetWindowTextA(window, title, sizeof title);
  if (args->className != nullptr && lstrcmpiA(cls, args->className) != 0) return TRUE;
  if (args->title != nullptr && lstrcmpA(title, args->title) != 0) return TRUE;
  args->found = window;
  return FALSE;
}

// Looks at least once, then every 50 ms until the time-out.
inline HWND WaitWindow(DWORD pid, const char* className, const char* title, int timeoutMs = 20000) {
  for (int waited = 0;; waited += 50) {
    FindArgs args{pid, className, title, nullptr};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&args));
    if (args.found != nullptr) return args.found;
    if (waited >= timeoutMs) return nullptr;
    Sleep(50);
  }
}

class Program {
 public:
  explicit Program(const std::string& commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string line = commandLine;
    started_ = CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &info_) != 0;
  }
  ~Program() {
    if (!started_) return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 99);
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
  }
  bool Started() const { return started_; }
  DWORD Pid() const { return info_.dwProcessId; }
  // The exit code, or -1 if it has not ended in time.
  long Wait(int timeoutMs) {
    if (!started_ || WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return static_cast<long>(code);
  }

 private:
  PROCESS_INFORMATION info_{};
  bool started_ = false;
};

// Dispatches the test process's own window messages for about 200 ms, so
// that its windows size, paint and run their timers.
inline void PumpMessages() {
  for (int round = 0; round < 20; ++round) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(10);
  }
}

}  // namespace trelm_e2e
