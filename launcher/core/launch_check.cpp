#include "core/launch_check.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/launch_list.h"
#include "core/launcher.h"

namespace pellor {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The launcher's host for a dry run: it reads the launch list and records
// what the launcher would start, change, write and wait for.
class DryHost : public LauncherHost {
 public:
  DryHost(CheckEnvironment& env, std::string directory) : env_(env), directory_(std::move(directory)) {}

  std::vector<std::string> writes;  // "key=value" the launcher would write
  std::vector<std::string> started;
  std::string currentDirectory;     // "" until a directory entry changes it
  long stepMs = -1;                 // the step timer armed last
  bool waiting = false;             // the application-ready time-out armed
  bool ended = false;

  void Reset() {
    started.clear();
    stepMs = -1;
    waiting = false;
  }

  void LookupConfigPath(char* out, std::size_t size) override {
    std::snprintf(out, size, "%s", directory_.c_str());
  }
  std::size_t ProfileRead(const char* section, const char* key, const char* fallback, char* out,
                          std::size_t size, const char* file) override {
    return env_.ProfileRead(section, key, fallback, out, size, file);
  }
  void ProfileWrite(const char*, const char* key, const char* value, const char*) override {
    writes.push_back(std::string(key) + "=" + value);
  }
  void ArmTimer(unsigned id, unsigned ms) override {
    if (id == kTimerStep) stepMs = ms;
    if (id == kTimerAppReady) waiting = true;
  }
  void KillTimer(unsigned) override {}
  void Send(WindowHandle, unsigned, std::uintptr_t, std::intptr_t) override {}
  void Broadcast(unsigned, std::uintptr_t, std::intptr_t) override {}
  void PostToMain(unsigned) override {}
  void StartProgram(const char* commandLine, int) override { started.push_back(commandLine); }
  void ChangeDirectory(const char* path) override { currentDirectory = path; }
  void ArrangeIconicWindows() override { ended = true; }
  int ShowMessageBox(WindowHandle, const char*, const char*, unsigned) override { return kIdNo; }
  void EndWindowsSession(unsigned, unsigned) override {}
  void OpenDebugWindow() override {}
  void DebugLogAdd(const char*) override {}
  void DestroyDebugWindow() override {}
  void DestroyMainWindow() override {}
  void PostQuit(int) override {}

 private:
  CheckEnvironment& env_;
  std::string directory_;
};

const char* KindText(EntryKind kind) {
  switch (kind) {
    case EntryKind::End: return "end";
    case EntryKind::Orm: return "ORM";
    case EntryKind::Pause: return "pause";
    case EntryKind::Directory: return "directory";
    case EntryKind::Wait: return "wait";
    case EntryKind::Command: return "command";
  }
  return "?";
}

std::string Trimmed(const std::string& s) {
  const std::size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return std::string();
  return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

}  // namespace

std::string ProgramOf(const std::string& commandLine) {
  const std::string line = Trimmed(commandLine);
  if (!line.empty() && line[0] == '"') {
    const std::size_t close = line.find('"', 1);
    return line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  }
  return line.substr(0, line.find(' '));
}

CheckReport CheckSection(CheckEnvironment& env, const std::string& path, const std::string& section) {
  CheckReport report;
  auto line = [&](const std::string& text) { report.lines.push_back(text); };
  auto warn = [&](const std::string& text) {
    report.lines.push_back("  warning: " + text);
    ++report.warnings;
  };
  const std::size_t slash = path.find_last_of("\\/");
  DryHost host(env, slash == std::string::npos ? std::string(".") : path.substr(0, slash));
  Launcher launcher(host);
  launcher.PrepareCheck(slash == std::string::npos ? path.c_str() : path.c_str() + slash + 1,
                        section.c_str());
  const LauncherState& state = launcher.State();

  line("[" + section + "]");
  char text[512];
  std::snprintf(text, sizeof text, "  DebugMode=%d QuitWhenDone=%d CloseRunningORMandWait=%d",
                static_cast<int>(state.debugMode), static_cast<int>(state.quitWhenDone),
                static_cast<int>(state.closeWaitSeconds));
  line(text);
  for (const std::string& w : host.writes) line("  missing: the launcher would write " + w);
  host.writes.clear();
  const bool ormSkipped = state.ormAtStart;

  int end = 0;
  for (int step = 0; step < 1000 && !host.ended; ++step) {
    const int index = static_cast<int>(state.bootIndex) + 1;
    const StepEntry entry = launcher.ReadEntry(index);
    char raw[kEntryBufferSize] = "";
    char key[24];
    std::snprintf(key, sizeof key, "Boot_%d", index);
    const std::size_t count = env.ProfileRead(section.c_str(), key, "", raw, sizeof raw, state.launchFilePath);
    const std::string beforeDirectory = host.currentDirectory;
    host.Reset();
    launcher.OnTimer(kTimerStep);
    if (entry.kind == EntryKind::End) {
      end = index;
      std::string why = count == 0 ? "an empty or missing entry" : "an entry shorter than 2 characters";
      line(std::string("  ") + key + ": the list ends here (" + why + ")");
      break;
    }
    std::string plan = std::string("  ") + entry.key + "=" + entry.text + "  [" + KindText(entry.kind) + "]";
    std::string cut(raw);
    CutComment(cut);
    if (entry.text != cut) plan += " (as written: " + cut + ")";
    line(plan);
    switch (entry.kind) {
      case EntryKind::Orm:
        // Only where a running ORM is left alone is the entry taken as ORM's.
        line("    skipped when ORM is already running at log-on; otherwise starts ORM");
        warn(std::string(key) + " is an ORM entry, skipped when ORM is already running at log-on (CloseRunningORMandWait is 0)");
        break;
      case EntryKind::Pause: {
        std::int32_t seconds = 0;
        if (!ScanPauseSeconds(entry.text, &seconds)) warn(std::string(key) + " is a pause without a number of seconds: it pauses nothing");
        break;
      }
      case EntryKind::Directory:
        line("    changes the current directory to \"" + host.currentDirectory + "\"");
        if (Trimmed(DirectoryField(entry.text)).empty()) warn(std::string(key) + " is a directory entry without a directory");
        break;
      case EntryKind::Wait:
        if (Trimmed(WaitCommand(entry.text)).empty()) {
          warn(std::string(key) + " is a wait entry with an empty command line");
        }
        line("    starts \"" + WaitCommand(entry.text) + "\" and waits for its ready report (30 s, three retries)");
        break;
      case EntryKind::Command:
        line("    starts \"" + entry.text + "\"");
        break;
      case EntryKind::End:
        break;
    }
    // The drive prefix rule makes a path on another drive one that cannot
    // start.
    if (entry.prefixed && cut.size() > 1 && cut[1] == ':') {
      warn(std::string(key) + " becomes \"" + entry.text + "\" by the drive prefix rule and cannot start");
    } else {
      for (const std::string& started : host.started) {
        const std::string program = ProgramOf(started);
        if (!program.empty() && !env.ProgramExists(program, beforeDirectory)) {
          warn(std::string(key) + ": the program \"" + program + "\" does not exist" +
               (beforeDirectory.empty() ? std::string() : " (from " + beforeDirectory + ")"));
        }
      }
    }
    if (host.waiting) {
      launcher.OnAppReady();  // as if the program reported ready
    }
    if (host.stepMs >= 0 || host.waiting) {
      std::snprintf(text, sizeof text, "    next step after %ld ms%s", host.waiting ? 1000L : host.stepMs,
                    host.waiting ? ", once the program reports ready" : "");
      line(text);
    }
  }
  if (end == 1 && !host.writes.empty()) {
    warn("the list is empty: the launcher would fill this section with the empty template (Boot_1 to Boot_10)");
  }
  // Entries after the end are never read.
  for (const std::string& k : env.Keys(section.c_str(), state.launchFilePath)) {
    const std::string lower = Lower(k);
    if (lower.rfind("boot_", 0) != 0) continue;
    std::int32_t n = 0;
    if (!ScanInt(lower.c_str() + 5, n) || n <= end) continue;
    char value[kEntryBufferSize] = "";
    env.ProfileRead(section.c_str(), k.c_str(), "", value, sizeof value, state.launchFilePath);
    if (value[0] != '\0') warn(k + " comes after the end of the list and is never read");
  }
  if (state.quitWhenDone != 0) line("  the launcher then ends (QuitWhenDone)");
  return report;
}

}  // namespace pellor
