// launchcheck: shows what the launcher will do with a launch list, section
// by section, and warns of its pitfalls, before anyone logs on.
//   launchcheck [LAUNCH_LIST [WORKSTATION]]
// Without a file: LAUNCH.INI in the configuration directory (ConfigPath of
// c:\trelm_config.ini [Config], else the Windows directory; nothing is
// written). Exit code 0: nothing to warn about; 1: warnings; 2: the file
// cannot be read.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/launch_check.h"
#include "win32_profile.h"

namespace {

class Win32Environment : public pellor::CheckEnvironment {
 public:
  std::size_t ProfileRead(const char* section, const char* key, const char* fallback, char* out,
                          std::size_t size, const char* file) override {
    return profiles_.ProfileRead(section, key, fallback, out, size, file);
  }
  std::vector<std::string> Sections(const char* file) override {
    return Split(GetPrivateProfileSectionNamesA, nullptr, file);
  }
  std::vector<std::string> Keys(const char* section, const char* file) override {
    std::vector<char> buffer(65536);
    const DWORD n = GetPrivateProfileStringA(section, nullptr, "", buffer.data(),
                                             static_cast<DWORD>(buffer.size()), file);
    return List(buffer.data(), n);
  }
  bool ProgramExists(const std::string& program, const std::string& currentDirectory) override {
    char saved[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof saved, saved);
    if (!currentDirectory.empty()) SetCurrentDirectoryA(currentDirectory.c_str());
    char found[MAX_PATH];
    const DWORD n = SearchPathA(nullptr, program.c_str(), ".exe", sizeof found, found, nullptr);
    SetCurrentDirectoryA(saved);
    return n > 0;
  }

 private:
  trelm::Win32Profiles profiles_;
  static std::vector<std::string> List(const char* p, DWORD n) {
    std::vector<std::string> out;
    for (DWORD at = 0; at < n && p[at] != '\0';) {
      out.emplace_back(p + at);
      at += static_cast<DWORD>(out.back().size()) + 1;
    }
    return out;
  }
  template <typename F>
  static std::vector<std::string> Split(F f, const char*, const char* file) {
    std::vector<char> buffer(65536);
    const DWORD n = f(buffer.data(), static_cast<DWORD>(buffer.size()), file);
    return List(buffer.data(), n);
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::string file;
  if (argc > 1) {
    file = argv[1];
  } else {
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof windows);
    char dir[MAX_PATH] = "";
    GetPrivateProfileStringA("Config", "ConfigPath", windows, dir, sizeof dir, "c:\\trelm_config.ini");
    file = std::string(dir) + "\\LAUNCH.INI";
  }
  // The full path, in a buffer of the size the call asks for when the
  // first is too small; the name stays as given when it fails.
  std::string full(MAX_PATH, '\0');
  DWORD length = GetFullPathNameA(file.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length >= full.size()) {
    full.assign(length, '\0');
    length = GetFullPathNameA(file.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  if (length > 0 && length < full.size()) file = full.substr(0, length);
  HANDLE h = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "launchcheck: %s cannot be read\n", file.c_str());
    return 2;
  }
  CloseHandle(h);

  Win32Environment env;
  std::vector<std::string> sections;
  if (argc > 2) {
    char section[32];
    std::snprintf(section, sizeof section, "Workstation_%03d", std::atoi(argv[2]));
    sections.push_back(section);
  } else {
    for (const std::string& s : env.Sections(file.c_str())) {
      if (s.size() == 15 && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, s.c_str(), 12,
                                           "Workstation_", 12) == CSTR_EQUAL) {
        sections.push_back(s);
      }
    }
  }
  std::printf("%s\n", file.c_str());
  int warnings = 0;
  for (const std::string& section : sections) {
    const pellor::CheckReport report = pellor::CheckSection(env, file, section);
    for (const std::string& line : report.lines) std::printf("%s\n", line.c_str());
    warnings += report.warnings;
  }
  std::printf("%d warning%s\n", warnings, warnings == 1 ? "" : "s");
  return warnings == 0 ? 0 : 1;
}
