#include "core/launch_check.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "core/launch_list.h"
#include "core/launcher.h"
#include "json_text.h"
#include "profile_text.h"

namespace pellor {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The launcher's profiles and actions for a dry run: it reads the launch
// list and records what the launcher would start, change, write and wait for.
class DryHost : public trelm::ProfileAccess, public LaunchActions {
 public:
  // Reads go to the list checked, wherever the launcher would look for it.
  DryHost(CheckEnvironment& env, std::string directory, std::string list)
      : env_(env), directory_(std::move(directory)), list_(std::move(list)) {}

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
                          std::size_t size, const char*) override {
    return env_.ProfileRead(section, key, fallback, out, size, list_.c_str());
  }
  void ProfileWrite(const char*, const char* key, const char* value, const char*) override {
    writes.push_back(std::string(key) + "=" + value);
  }
  void ArmTimer(unsigned id, unsigned ms) override {
    if (id == kTimerStep) stepMs = ms;
    if (id == kTimerAppReady) waiting = true;
  }
  void KillTimer(unsigned) override {}
  void StartProgram(const char* commandLine, int) override { started.push_back(commandLine); }
  void ChangeDirectory(const char* path) override { currentDirectory = path; }
  void ArrangeIconicWindows() override { ended = true; }

 private:
  CheckEnvironment& env_;
  std::string directory_;
  std::string list_;
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

CheckReport CheckSection(CheckEnvironment& env, const std::string& path, const std::string& section,
                         const std::string& configDirectory) {
  CheckReport report;
  const std::string fileText = env.Text(path.c_str());
  auto line = [&](const std::string& text) { report.lines.push_back(text); };
  // A warning on a key of the section (empty: on the section).
  auto warnAt = [&](const std::string& key, const std::string& text) {
    CheckWarning w{LineOf(fileText, section, key), text};
    report.lines.push_back("  warning: " + (w.line > 0 ? "line " + std::to_string(w.line) + ": " : "") +
                           text);
    report.found.push_back(w);
    ++report.warnings;
  };
  auto warn = [&](const std::string& text) { warnAt(std::string(), text); };
  const std::size_t slash = path.find_last_of("\\/");
  const std::string directory = !configDirectory.empty() ? configDirectory
                                : slash == std::string::npos ? std::string(".")
                                                              : path.substr(0, slash);
  DryHost host(env, directory, path);
  Launcher launcher(host, host);
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

  int end = 0;
  for (int step = 0; step < 1000 && !host.ended; ++step) {
    const int index = static_cast<int>(state.bootIndex) + 1;
    const StepEntry entry = launcher.ReadEntry(index);
    char raw[kEntryBufferSize] = "";
    char key[24];
    std::snprintf(key, sizeof key, "Boot_%d", index);
    const std::size_t count = env.ProfileRead(section.c_str(), key, "", raw, sizeof raw, path.c_str());
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
        warnAt(key, std::string(key) + " is an ORM entry, skipped when ORM is already running at log-on (CloseRunningORMandWait is 0)");
        break;
      case EntryKind::Pause: {
        std::int32_t seconds = 0;
        if (!ScanPauseSeconds(entry.text, &seconds)) warnAt(key, std::string(key) + " is a pause without a number of seconds: it pauses nothing");
        break;
      }
      case EntryKind::Directory:
        line("    changes the current directory to \"" + host.currentDirectory + "\"");
        if (Trimmed(DirectoryField(entry.text)).empty()) warnAt(key, std::string(key) + " is a directory entry without a directory");
        break;
      case EntryKind::Wait:
        if (Trimmed(WaitCommand(entry.text)).empty()) {
          warnAt(key, std::string(key) + " is a wait entry with an empty command line");
        }
        line("    starts \"" + WaitCommand(entry.text) + "\" and waits for its ready report (30 s, three retries)");
        break;
      case EntryKind::Command:
        line("    starts \"" + entry.text + "\"");
        break;
      case EntryKind::End:
        break;
    }
    // The drive prefix rule makes a path on another drive, or one in
    // quotes, one that cannot start.
    const std::size_t drive = !cut.empty() && cut[0] == '"' ? 2 : 1;
    if (entry.prefixed && cut.size() > drive && cut[drive] == ':') {
      warnAt(key, std::string(key) + " becomes \"" + entry.text + "\" by the drive prefix rule and cannot start");
    } else {
      for (const std::string& started : host.started) {
        const std::vector<std::string> candidates = ProgramCandidates(started);
        bool found = candidates.empty();
        for (const std::string& program : candidates) {
          if (env.ProgramExists(program, beforeDirectory)) {
            found = true;
            break;
          }
        }
        if (found) continue;
        const std::string from =
            beforeDirectory.empty() ? std::string() : " (from " + beforeDirectory + ")";
        std::string text =
            std::string(key) + ": the program \"" + candidates.front() + "\" does not exist" + from;
        if (candidates.size() > 1) {
          text += ", nor does any longer name its blanks allow (up to \"" + candidates.back() + "\")";
        }
        warnAt(key, text);
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
  for (const std::string& k : env.Keys(section.c_str(), path.c_str())) {
    const std::string lower = Lower(k);
    if (lower.rfind("boot_", 0) != 0) continue;
    std::int32_t n = 0;
    if (!ScanInt(lower.c_str() + 5, n) || n <= end) continue;
    char value[kEntryBufferSize] = "";
    env.ProfileRead(section.c_str(), k.c_str(), "", value, sizeof value, path.c_str());
    if (value[0] != '\0') warnAt(k, k + " comes after the end of the list and is never read");
  }
  if (state.quitWhenDone != 0) line("  the launcher then ends (QuitWhenDone)");
  return report;
}

bool WorkstationNumber(const std::string& text, long* number) {
  const std::size_t sign = !text.empty() && text[0] == '-' ? 1 : 0;
  if (text.size() <= sign || text.size() > sign + 9 ||
      text.find_first_not_of("0123456789", sign) != std::string::npos) {
    return false;
  }
  *number = std::strtol(text.c_str(), nullptr, 10);
  return true;
}

std::string SectionNote(const std::string& section) {
  long n = 0;
  if (!WorkstationNumber(section.size() > 12 ? section.substr(12) : std::string(), &n)) {
    return "[" + section + "] is never read: no workstation number gives it";
  }
  const std::string suffix = section.substr(12);
  char read[32];
  std::snprintf(read, sizeof read, "Workstation_%03ld", n);
  if (suffix != read + 12) {
    return "[" + section + "] is never read: workstation " + std::to_string(n) + " reads [" + read +
           "]";
  }
  if (n >= 1000) {
    return "[" + section + "] is read only for a workstation number from ORM.INI: the launcher "
           "takes a number of 1000 or more on its command line as none";
  }
  return std::string();
}

int LineOf(const std::string& text, const std::string& section, const std::string& key) {
  std::istringstream in(text);
  std::string line;
  bool inSection = false;
  for (int n = 1; std::getline(in, line); ++n) {
    std::string name;
    std::string value;
    if (trelm::ProfileSectionLine(line, &name)) {
      // The first section of the name is the one read.
      if (inSection) return 0;
      inSection = trelm::ProfileSameName(name, section);
      if (inSection && key.empty()) return n;
    } else if (inSection && trelm::ProfileKeyLine(line, &name, &value) &&
               trelm::ProfileSameName(name, key)) {
      return n;
    }
  }
  return 0;
}

std::vector<std::string> ProgramCandidates(const std::string& commandLine) {
  std::string line = commandLine;
  const std::size_t start = line.find_first_not_of(" \t");
  if (start == std::string::npos) return {};
  line = line.substr(start);
  if (line[0] == '"') {
    const std::size_t close = line.find('"', 1);
    return {line.substr(1, close == std::string::npos ? std::string::npos : close - 1)};
  }
  // Each run of words up to a blank, and the whole line.
  std::vector<std::string> out;
  for (std::size_t at = 0; at <= line.size(); ++at) {
    if (at < line.size() && line[at] != ' ' && line[at] != '\t') continue;
    std::string candidate = line.substr(0, at);
    const std::size_t end = candidate.find_last_not_of(" \t");
    if (end == std::string::npos) continue;
    candidate.resize(end + 1);
    if (out.empty() || out.back() != candidate) out.push_back(candidate);
  }
  return out;
}

namespace {
std::string Json(const std::string& text) { return trelm::JsonString(text); }

std::string JsonWarnings(const std::vector<CheckWarning>& warnings) {
  std::string out = "[";
  for (std::size_t i = 0; i < warnings.size(); ++i) {
    out += (i ? "," : "") + std::string("{\"line\":") + std::to_string(warnings[i].line) +
           ",\"text\":" + Json(warnings[i].text) + "}";
  }
  return out + "]";
}
}  // namespace

std::string JsonReport(const std::string& file, const std::string& configDirectory,
                       const std::string& machine, const std::vector<CheckWarning>& fileWarnings,
                       const std::vector<std::pair<std::string, CheckReport>>& sections) {
  int total = static_cast<int>(fileWarnings.size());
  std::string out = "{\"file\":" + Json(file) + ",\"config_directory\":" + Json(configDirectory) +
                    ",\"start_drive\":" + Json(configDirectory.substr(0, 2)) +
                    ",\"programs_looked_up_on\":" + Json(machine) +
                    ",\"file_warnings\":" + JsonWarnings(fileWarnings) + ",\"sections\":[";
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const CheckReport& r = sections[i].second;
    total += r.warnings;
    out += (i ? "," : "") + std::string("{\"section\":") + Json(sections[i].first) + ",\"lines\":[";
    for (std::size_t k = 0; k < r.lines.size(); ++k) out += (k ? "," : "") + Json(r.lines[k]);
    out += "],\"warnings\":" + JsonWarnings(r.found) + "}";
  }
  return out + "],\"warnings\":" + std::to_string(total) + "}";
}

}  // namespace pellor
