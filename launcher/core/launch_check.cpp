// The launch-list checker's section check and its JSON: the launcher's own code
// run on a dry host over one workstation's section, step by step.
#include "core/launch_check.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/launch_list.h"
#include "core/launcher.h"
#include "json_text.h"
#include "profile_text.h"

namespace pellor {

namespace {

// A pause longer than this is told, with its length.
constexpr std::int32_t kLongPauseSeconds = 3600;

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
  std::string failedDirectory;      // the last change that would fail
  bool directoryFailed = false;
  long stepMs = -1;                 // the step timer armed last
  bool waiting = false;             // the application-ready time-out armed
  bool ended = false;

  void Reset() {
    started.clear();
    stepMs = -1;
    waiting = false;
    directoryFailed = false;
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
  // A change that fails leaves the current directory as it was.
  void ChangeDirectory(const char* path) override {
    std::string full;
    if (env_.DirectoryExists(path, currentDirectory, &full)) {
      currentDirectory = full;
    } else {
      directoryFailed = true;
      failedDirectory = path;
    }
  }
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

// Edits that turn a into b, without case.
std::size_t Distance(const std::string& a, const std::string& b) {
  const std::string x = Lower(a), y = Lower(b);
  std::vector<std::size_t> row(y.size() + 1);
  for (std::size_t j = 0; j <= y.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= x.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= y.size(); ++j) {
      const std::size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[y.size()];
}

// Why the launcher never reads a key of a workstation section; "" for the
// keys it reads.
std::pair<const char*, std::string> UnreadKey(const std::string& key) {
  for (const Setting& s : kSettings) {
    if (trelm::ProfileSameName(key, s.key)) return {nullptr, std::string()};
  }
  if (BootIndexOf(key) > 0) return {nullptr, std::string()};
  const std::string lower = Lower(key);
  // "Boot_..." or "Boot" and a number: meant as an entry.
  if (lower.rfind("boot_", 0) == 0 ||
      (lower.rfind("boot", 0) == 0 && lower.size() > 4 && std::isdigit(static_cast<unsigned char>(lower[4])))) {
    std::int32_t n = 0;
    const char* digits = key.c_str() + (lower.rfind("boot_", 0) == 0 ? 5 : 4);
    if (lower.rfind("boot_", 0) == 0 && ScanInt(digits, n) && n == 0) {
      return {"boot-key-never-read", key + " is never read: the list starts at Boot_1"};
    }
    if (ScanInt(digits, n) && n > 0) {
      return {"boot-key-never-read", key + " is never read: entry " + std::to_string(n) +
                                         " is read as " + BootKey(n)};
    }
    return {"boot-key-never-read",
            key + " is never read: the entries are Boot_1, Boot_2, ... (no zeros in front)"};
  }
  // The nearest name the launcher reads, when it is near enough to be
  // what was meant.
  std::string nearest;
  std::size_t best = 4;
  std::vector<std::string> names;
  for (const Setting& s : kSettings) names.push_back(s.key);
  const std::size_t digits = key.find_last_not_of("0123456789");
  if (digits != std::string::npos && digits + 1 < key.size()) {
    std::int32_t n = 0;
    if (ScanInt(key.c_str() + digits + 1, n) && n > 0) names.push_back(BootKey(n));
  }
  for (const std::string& name : names) {
    const std::size_t d = Distance(key, name);
    if (d < best) {
      best = d;
      nearest = name;
    }
  }
  return {"unknown-key", key + " is no key the launcher reads" +
                             (nearest.empty() ? std::string() : ": is " + nearest + " meant?")};
}

}  // namespace

CheckReport CheckSection(CheckEnvironment& env, const std::string& path, const std::string& section,
                         const std::string& configDirectory) {
  CheckReport report;
  const std::string fileText = env.Text(path.c_str());
  auto line = [&](const std::string& text) { report.lines.push_back(text); };
  // A warning on a line of the file (0: unknown).
  auto warnLine = [&](int at, const char* code, const std::string& text) {
    CheckWarning w{at, code, text};
    report.lines.push_back("  warning: " + (w.line > 0 ? "line " + std::to_string(w.line) + ": " : "") +
                           text);
    report.found.push_back(w);
    ++report.warnings;
  };
  // A warning on a key of the section (empty: on the section).
  auto warnAt = [&](const std::string& key, const char* code, const std::string& text) {
    warnLine(LineOf(fileText, section, key), code, text);
  };
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
  // The settings as written: what the launcher's "%d" makes of them.
  static const char kAbsent[] = "\x01\x02" "absent";
  std::vector<std::string> present;
  std::vector<std::pair<const Setting*, std::string>> written;
  for (const Setting& s : kSettings) {
    char value[kEntryBufferSize];
    env.ProfileRead(section.c_str(), s.key, kAbsent, value, sizeof value, path.c_str());
    if (std::strcmp(value, kAbsent) != 0) written.emplace_back(&s, value);
  }
  for (const std::string& w : host.writes) {
    bool there = false;
    for (const auto& [s, value] : written) there = there || w.rfind(std::string(s->key) + "=", 0) == 0;
    if (!there) line("  missing: the launcher would write " + w);
  }
  host.writes.clear();
  for (const auto& [s, value] : written) {
    const std::string as = std::string(s->key) + "=" + value;
    std::int32_t n = 0;
    const char* rest = nullptr;
    if (!SettingNumber(value.c_str(), &n, &rest)) {
      warnAt(s->key, "setting-not-a-number",
             as + " is not a number: the launcher takes it as 0");
    } else if (n == -1) {
      warnAt(s->key, "setting-taken-as-missing",
             as + " counts as missing: the launcher writes " + s->key + "=" + s->defaultText +
                 " over it and takes " + s->defaultText);
    } else if (!Trimmed(rest).empty()) {
      warnAt(s->key, "setting-extra-text",
             as + " is taken as " + std::to_string(n) + ": the launcher ignores \"" + rest + "\"");
    }
  }

  int end = 0;
  // Every entry before the end is a key of the section: the list is
  // followed to its end however long it is, and no further.
  const std::size_t steps = env.Keys(section.c_str(), path.c_str()).size() + 1;
  for (std::size_t step = 0; step < steps && !host.ended; ++step) {
    const int index = static_cast<int>(state.bootIndex) + 1;
    const StepEntry entry = launcher.ReadEntry(index);
    char raw[kEntryBufferSize] = "";
    const std::string keyText = BootKey(index);
    const char* key = keyText.c_str();
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
    {
      std::vector<char> whole(4096);
      const std::size_t length =
          env.ProfileRead(section.c_str(), key, "", whole.data(), whole.size(), path.c_str());
      if (length > count) {
        warnAt(key, "entry-cut",
               std::string(key) + " holds " + (length + 1 >= whole.size() ? "at least " : "") +
                   std::to_string(length) + " characters: the launcher reads only the first " +
                   std::to_string(count) + ", up to \"" +
                   std::string(raw, std::min(count, sizeof raw)).substr(count > 20 ? count - 20 : 0) + "\"");
      }
    }
    // The programs the entry starts; an ORM entry starts its program when
    // no ORM runs at log-on.
    std::vector<std::string> programs = host.started;
    switch (entry.kind) {
      case EntryKind::Orm: {
        // Only where a running ORM is left alone is the entry taken as ORM's.
        line("    skipped when ORM is already running at log-on; otherwise starts ORM");
        warnAt(key, "orm-entry-skipped", std::string(key) + " is an ORM entry, skipped when ORM is already running at log-on (CloseRunningORMandWait is 0)");
        const EntryKind otherwise = Classify(entry.text, false);
        if (otherwise == EntryKind::Wait) programs.push_back(WaitCommand(entry.text));
        if (otherwise == EntryKind::Command) programs.push_back(entry.text);
        break;
      }
      case EntryKind::Pause: {
        std::int32_t seconds = 0;
        std::string rest;
        if (!ScanPauseSeconds(entry.text, &seconds, &rest)) {
          warnAt(key, "pause-without-number", std::string(key) + " is a pause without a number of seconds: it pauses nothing");
          break;
        }
        const std::int64_t asked = static_cast<std::int64_t>(seconds) * 1000;
        const unsigned ms = SecondsToTimerMs(seconds);
        const char* number = SkipBlanks(SkipWord(SkipBlanks(entry.text.c_str())));
        const std::string writtenNumber(number, SkipWord(number));
        if (seconds < 0) {
          warnAt(key, "pause-negative", std::string(key) + " pauses " + writtenNumber +
                                            " seconds, which the launcher takes as 0: the next step comes at once");
        } else if (asked > ms) {
          std::snprintf(text, sizeof text,
                        "%s asks for %s seconds: the launcher pauses %u ms (about %.1f days), the "
                        "longest a window timer takes",
                        key, writtenNumber.c_str(), ms, ms / 86400000.0);
          warnAt(key, "pause-capped", text);
        } else if (seconds > kLongPauseSeconds) {
          std::snprintf(text, sizeof text, "%s pauses %d seconds (about %.1f hours) before the next entry",
                        key, static_cast<int>(seconds), seconds / 3600.0);
          warnAt(key, "pause-long", text);
        }
        if (!Trimmed(rest).empty()) {
          warnAt(key, "pause-extra-text",
                 std::string(key) + " pauses " + std::to_string(seconds) +
                     (seconds == 1 ? " second" : " seconds") + ", not \"" + writtenNumber +
                     "\": the launcher reads a whole number and ignores \"" + Trimmed(rest) + "\"");
        }
        break;
      }
      case EntryKind::Directory: {
        const std::string field = DirectoryField(entry.text);
        if (host.directoryFailed) {
          line("    cannot change the current directory to \"" + field + "\": it stays " +
               (beforeDirectory.empty() ? std::string("the launcher's own") : "\"" + beforeDirectory + "\""));
        } else {
          line("    changes the current directory to \"" + host.currentDirectory + "\"");
        }
        if (Trimmed(field).empty()) {
          warnAt(key, "directory-empty", std::string(key) + " is a directory entry without a directory");
        } else if (host.directoryFailed) {
          warnAt(key, "directory-not-found",
                 std::string(key) + ": the directory \"" + field + "\" does not exist" +
                     (beforeDirectory.empty() ? std::string() : " (from " + beforeDirectory + ")") +
                     ": the entries after it run in the launcher's current directory, without "
                     "drive prefixes");
        }
        break;
      }
      case EntryKind::Wait:
        if (Trimmed(WaitCommand(entry.text)).empty()) {
          warnAt(key, "wait-command-empty", std::string(key) + " is a wait entry with an empty command line");
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
      if (entry.kind != EntryKind::Pause && entry.kind != EntryKind::Directory) {
        warnAt(key, "drive-prefix-breaks-path", std::string(key) + " becomes \"" + entry.text + "\" by the drive prefix rule and cannot start");
      }
    } else {
      for (const std::string& started : programs) {
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
        warnAt(key, "program-not-found", text);
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
    warnAt("", "list-empty-template", "the list is empty: the launcher would fill this section with the empty template (Boot_1 to Boot_10)");
  }
  // Keys the launcher never reads: entries after the end, keys it has no
  // use for.
  std::vector<std::string> seen;
  for (const std::string& k : env.Keys(section.c_str(), path.c_str())) {
    bool again = false;
    for (const std::string& s : seen) again = again || trelm::ProfileSameName(s, k);
    if (again) continue;  // a repeated key: told below, from the text
    seen.push_back(k);
    // A name Windows lists but that stands on no key line: a line without
    // '=', told below.
    if (!fileText.empty() && LineOf(fileText, section, k) == 0) continue;
    const std::int32_t n = BootIndexOf(k);
    if (n > end) {
      char value[kEntryBufferSize] = "";
      env.ProfileRead(section.c_str(), k.c_str(), "", value, sizeof value, path.c_str());
      if (value[0] != '\0') warnAt(k, "entry-after-end", k + " comes after the end of the list and is never read");
    }
    const auto [code, why] = UnreadKey(k);
    if (code != nullptr) warnAt(k, code, why);
  }
  // What only the text shows: repeated keys, lines without '=', and the
  // section again further down, all of which the launcher passes over.
  int occurrence = 0, firstHeader = 0, repeatHeader = 0, repeatLines = 0;
  std::vector<std::pair<std::string, int>> keyLines;
  auto endRepeat = [&] {
    if (repeatHeader == 0) return;
    warnLine(repeatHeader, "section-repeated",
             "[" + section + "] stands again (first on line " + std::to_string(firstHeader) +
                 "): the launcher reads only the first, so the " + std::to_string(repeatLines) +
                 " line" + (repeatLines == 1 ? "" : "s") + " under this one " +
                 (repeatLines == 1 ? "is" : "are") + " never read");
    repeatHeader = 0;
  };
  bool inSection = false;
  for (const TextLine& t : ScanText(fileText)) {
    if (t.kind == TextLine::kSection) {
      endRepeat();
      inSection = trelm::ProfileSameName(t.name, section);
      if (!inSection) continue;
      if (++occurrence == 1) {
        firstHeader = t.number;
      } else {
        repeatHeader = t.number;
        repeatLines = 0;
      }
      continue;
    }
    if (!inSection || (t.kind != TextLine::kKey && t.kind != TextLine::kNoEquals)) continue;
    if (occurrence > 1) {
      ++repeatLines;
    } else if (t.kind == TextLine::kNoEquals) {
      warnLine(t.number, "line-without-equals",
               "\"" + t.name + "\" has no '=': the launcher reads nothing from this line");
    } else {
      int first = 0;
      for (const auto& [name, at] : keyLines) {
        if (first == 0 && trelm::ProfileSameName(name, t.name)) first = at;
      }
      if (first != 0) {
        warnLine(t.number, "key-repeated",
                 t.name + " stands again (first on line " + std::to_string(first) +
                     "): the launcher reads only the first");
      } else {
        keyLines.emplace_back(t.name, t.number);
      }
    }
  }
  endRepeat();
  if (state.quitWhenDone != 0) line("  the launcher then ends (QuitWhenDone)");
  return report;
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
           ",\"code\":" + Json(warnings[i].code) + ",\"text\":" + Json(warnings[i].text) + "}";
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
