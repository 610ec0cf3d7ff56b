// pktdump's inputs on Windows: cmd leaves wildcards to the program, so an
// argument with '*' or '?' is matched here with FindFirstFileA (the
// system's own matching, as dir does: in its last part only); folders are
// listed the same way, and files known by their volume and file index
// (through links and hard links too).
#include <windows.h>

#include "inputs.h"

namespace pktdump {

namespace {

// The system's text for the last error, without its closing period.
std::string LastErrorText() {
  char text[512] = "";
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 GetLastError(), 0, text, sizeof text, nullptr);
  std::string out(text, n);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.' || out.back() == ' ')) {
    out.pop_back();
  }
  return out.empty() ? "error " + std::to_string(GetLastError()) : out;
}

// The names a FindFirstFileA pattern gives, without "." and "..".
bool Find(const std::string& pattern, std::vector<std::string>* names) {
  WIN32_FIND_DATAA found;
  const HANDLE h = FindFirstFileA(pattern.c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return false;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names->push_back(name);
  } while (FindNextFileA(h, &found));
  const DWORD why = GetLastError();
  FindClose(h);
  SetLastError(why);
  return why == ERROR_NO_MORE_FILES;
}

class Win32Inputs : public InputSystem {
 public:
  bool IsPattern(const std::string& argument) override {
    return argument.find_first_of("*?") != std::string::npos;
  }
  std::vector<std::string> Match(const std::string& pattern) override {
    // The names found stand in the pattern's folder, as it names it.
    const std::size_t cut = pattern.find_last_of("\\/:");
    const std::string folder = cut == std::string::npos ? std::string() : pattern.substr(0, cut + 1);
    std::vector<std::string> names, paths;
    Find(pattern, &names);
    for (const std::string& name : names) paths.push_back(folder + name);
    return paths;
  }
  bool IsFolder(const std::string& path) override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }
  bool List(const std::string& folder, std::vector<std::string>* names, std::string* reason) override {
    if (Find(Join(folder, "*"), names)) return true;
    // A folder with nothing in it at all (a drive's root has no "." entry).
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    *reason = LastErrorText();
    return false;
  }
  bool Identity(const std::string& path, std::string* identity) override {
    const HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info {};
    const bool ok = GetFileInformationByHandle(h, &info) != FALSE;
    CloseHandle(h);
    if (!ok) return false;
    *identity = std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) +
                ":" + std::to_string(info.nFileIndexLow);
    return true;
  }
  // With the folder's own kind of slash ("d:/ws12" goes on with '/'), and
  // nothing after "d:" or a slash.
  std::string Join(const std::string& folder, const std::string& name) override {
    if (folder.empty()) return name;
    const char last = folder.back();
    if (last == '\\' || last == '/' || last == ':') return folder + name;
    const bool forward = folder.find('/') != std::string::npos && folder.find('\\') == std::string::npos;
    return folder + (forward ? "/" : "\\") + name;
  }
};

}  // namespace

InputSystem& SystemInputs() {
  static Win32Inputs system;
  return system;
}

}  // namespace pktdump
