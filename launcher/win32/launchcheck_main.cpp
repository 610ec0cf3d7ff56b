// launchcheck: shows what the launcher will do with a launch list, section
// by section, and warns of its pitfalls, before anyone logs on (kUsage
// below says how). Nothing is written.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "command_line.h"
#include "core/launch_check.h"
#include "trelm_version.h"
#include "win32_profile.h"

namespace {

// One line of a UTF-16 launch list narrowed as GetPrivateProfileStringA
// narrows what it reads: to the ANSI code page, with its best-fit
// look-alikes and '?' for what has none. What does not come back the same
// from the code page came out otherwise.
std::string AnsiLine(const std::u16string& line, bool* changed) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16");
  *changed = false;
  if (line.empty()) return std::string();
  const auto* wide = reinterpret_cast<const wchar_t*>(line.data());
  const int size = static_cast<int>(line.size());
  const int n = WideCharToMultiByte(CP_ACP, 0, wide, size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, wide, size, out.data(), n, nullptr, nullptr);
  const int m = MultiByteToWideChar(CP_ACP, 0, out.data(), n, nullptr, 0);
  std::wstring back(static_cast<std::size_t>(m > 0 ? m : 0), L'\0');
  if (m > 0) MultiByteToWideChar(CP_ACP, 0, out.data(), n, back.data(), m);
  *changed = back != std::wstring(wide, line.size());
  return out;
}

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
  // Read once: every section checked asks for the lines of its warnings,
  // and the check writes nothing. A list saved as UTF-16 or with a UTF-8
  // mark is decoded as the profile calls decode it.
  std::string Text(const char* file) override {
    if (textOf_ == file) return text_.text;
    textOf_ = file;
    std::string bytes;
    if (std::FILE* in = std::fopen(file, "rb")) {
      char chunk[4096];
      std::size_t n;
      while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) bytes.append(chunk, n);
      std::fclose(in);
    }
    text_ = pellor::ReadListText(bytes, AnsiLine);
    return text_.text;
  }
  // What the decoding of the text read last could not keep.
  const std::vector<pellor::CheckWarning>& TextWarnings() const { return text_.warnings; }
  // As the launcher's change would go: from its current directory, and
  // back to the checker's own afterwards.
  bool DirectoryExists(const std::string& directory, const std::string& currentDirectory,
                       std::string* full) override {
    char saved[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof saved, saved);
    if (!currentDirectory.empty()) SetCurrentDirectoryA(currentDirectory.c_str());
    const bool ok = SetCurrentDirectoryA(directory.c_str()) != FALSE;
    char now[MAX_PATH] = "";
    if (ok) GetCurrentDirectoryA(sizeof now, now);
    SetCurrentDirectoryA(saved);
    *full = ok ? std::string(now) : directory;
    return ok;
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
  std::string textOf_;
  pellor::ListText text_;
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

const char kUsage[] =
    "usage: launchcheck [--config-dir DIR] [--json] [LAUNCH_LIST [WORKSTATION]]\n"
    "       launchcheck --help | --version\n"
    "Shows what the launcher will do with each [Workstation_NNN] section of a launch list\n"
    "(LAUNCH.INI in this machine's configuration directory when none is named), or with\n"
    "the one of WORKSTATION, and warns of its pitfalls, each with its line in the file.\n"
    "  --config-dir DIR  the workstation's configuration directory: its drive is the start\n"
    "                    drive of the drive prefix rule (else this machine's, looked up as\n"
    "                    the launcher does)\n"
    "  --json            the report as one JSON object; each warning has its line and a\n"
    "                    code that scripts can filter on (see the README)\n"
    "Programs are looked up on the machine running the check.\n"
    "Exit code: 0 nothing to warn about, 1 warnings, 2 the file cannot be read, no section\n"
    "was checked, or a usage error.\n";

const trelm::CommandLine kCommandLine = {"launchcheck", "", kUsage, false, "--help -h /? --version"};

// What the command line asks for.
struct Asked {
  std::string configDirectory;
  bool json = false;
};

// launchcheck's options.
const trelm::Option<Asked> kOptions[] = {
    {"--config-dir", "a directory", true,
     [](Asked& a, const std::string& v, std::string*) { a.configDirectory = v; return true; }},
    {"--json", nullptr, true, [](Asked& a, const std::string&, std::string*) { return a.json = true; }},
};

int Usage(const std::string& why) { return trelm::UsageError(kCommandLine, why, stderr); }

// This machine's configuration directory, as the launcher finds it.
std::string ConfigDirectory() {
  char windows[MAX_PATH] = "";
  GetWindowsDirectoryA(windows, sizeof windows);
  char dir[MAX_PATH] = "";
  GetPrivateProfileStringA("Config", "ConfigPath", windows, dir, sizeof dir, "c:\\trelm_config.ini");
  return dir;
}

// The full path, in a buffer of the size the call asks for when the
// first is too small; the name stays as given when it fails.
std::string FullPath(const std::string& file) {
  std::string full(MAX_PATH, '\0');
  DWORD length = GetFullPathNameA(file.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length >= full.size()) {
    full.assign(length, '\0');
    length = GetFullPathNameA(file.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  return length > 0 && length < full.size() ? full.substr(0, length) : file;
}

bool SameName(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

// "line N: ", or nothing for a warning on the whole file.
std::string LineText(const pellor::CheckWarning& w) {
  return w.line > 0 ? "line " + std::to_string(w.line) + ": " : std::string();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  Asked asked;
  std::vector<std::string> words;
  std::string why, answer;
  if (!trelm::ReadOptions(kCommandLine, kOptions, "launchcheck", nullptr, args, 0, asked, &words, &why,
                          nullptr, &answer)) {
    return Usage(why);
  }
  if (answer == "--version") {
    std::printf("launchcheck %s (Trelm workstation toolset)\n", TRELM_VERSION);
    return 0;
  }
  if (!answer.empty()) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::string file, workstation, configDirectory = asked.configDirectory;
  const bool json = asked.json;
  long number = 0;
  if (words.size() > 2) return Usage("too many arguments");
  if (words.size() == 2) {
    workstation = words[1];
    if (!pellor::WorkstationNumber(workstation, &number)) {
      return Usage("the workstation is a number, not '" + workstation + "'");
    }
  }
  file = words.empty() ? ConfigDirectory() + "\\LAUNCH.INI" : words[0];
  file = FullPath(file);
  if (configDirectory.empty()) configDirectory = ConfigDirectory();
  HANDLE h = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "launchcheck: %s cannot be read\n", file.c_str());
    return 2;
  }
  CloseHandle(h);

  Win32Environment env;
  const std::string text = env.Text(file.c_str());
  // How the file's text was decoded, lines before any section, then the
  // sections that look like a workstation's (each name once: the launcher
  // reads the first).
  std::vector<pellor::CheckWarning> fileWarnings = env.TextWarnings();
  for (const pellor::CheckWarning& w : pellor::CheckFileText(text)) fileWarnings.push_back(w);
  std::vector<std::string> sections;
  const std::vector<std::string> present = pellor::WorkstationSections(env.Sections(file.c_str()));
  for (const std::string& s : present) {
    pellor::CheckWarning note = pellor::SectionNote(s);
    note.line = pellor::LineOf(text, s, "");
    if (!note.code.empty()) fileWarnings.push_back(note);
    if (!pellor::NeverRead(note)) sections.push_back(s);
  }
  if (!workstation.empty()) {
    char section[32];
    std::snprintf(section, sizeof section, "Workstation_%03ld", number);
    bool found = false;
    for (const std::string& s : present) found = found || SameName(s, section);
    if (!found) {
      std::fprintf(stderr, "launchcheck: %s has no [%s]: nothing was checked\n", file.c_str(), section);
      return 2;
    }
    // Only what concerns this workstation's section, checked even where
    // the launcher would never read it (said as a warning).
    sections = {section};
    pellor::CheckWarning note = pellor::SectionNote(section);
    note.line = pellor::LineOf(text, section, "");
    // The decoding's warnings on the whole file or on the section's lines.
    fileWarnings.clear();
    for (const pellor::CheckWarning& w : env.TextWarnings()) {
      if (w.line == 0 || SameName(pellor::SectionAt(text, w.line), section)) fileWarnings.push_back(w);
    }
    if (!note.code.empty()) fileWarnings.push_back(note);
  } else if (sections.empty()) {
    for (const pellor::CheckWarning& w : fileWarnings) {
      std::fprintf(stderr, "launchcheck: warning: %s%s\n", LineText(w).c_str(), w.text.c_str());
    }
    std::fprintf(stderr, "launchcheck: %s has no [Workstation_NNN] section the launcher reads: "
                 "nothing was checked\n", file.c_str());
    return 2;
  }

  char machine[MAX_COMPUTERNAME_LENGTH + 1] = "";
  DWORD machineSize = sizeof machine;
  GetComputerNameA(machine, &machineSize);
  std::vector<std::pair<std::string, pellor::CheckReport>> reports;
  int warnings = static_cast<int>(fileWarnings.size());
  for (const std::string& section : sections) {
    reports.emplace_back(section, pellor::CheckSection(env, file, section, configDirectory));
    warnings += reports.back().second.warnings;
  }
  if (json) {
    std::printf("%s\n",
                pellor::JsonReport(file, configDirectory, machine, fileWarnings, reports).c_str());
  } else {
    std::printf("%s\n", file.c_str());
    std::printf("start drive %s, of the configuration directory %s\n",
                configDirectory.substr(0, 2).c_str(), configDirectory.c_str());
    std::printf("programs are looked up on this machine, %s\n", machine);
    for (const pellor::CheckWarning& w : fileWarnings) {
      std::printf("warning: %s%s\n", LineText(w).c_str(), w.text.c_str());
    }
    for (const auto& [section, report] : reports) {
      for (const std::string& line : report.lines) std::printf("%s\n", line.c_str());
    }
    std::printf("%d warning%s\n", warnings, warnings == 1 ? "" : "s");
  }
  return warnings == 0 ? 0 : 1;
}
