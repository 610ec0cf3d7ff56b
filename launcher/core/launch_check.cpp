// The launch-list checker's section check: the launcher's own code run on a
// dry host over one workstation's section, step by step, gathering the
// settings it reads, its plan and the pitfalls it would meet as findings.
#include "core/launch_check.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/launch_list.h"
#include "core/launcher.h"
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
  bool StartProgram(const char* commandLine, int, std::string&) override {
    started.push_back(commandLine);
    return true;
  }
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

// One section's check: where it reads, and where its warnings stand.
struct SectionCheck {
  CheckEnvironment& env;
  const std::string& path;
  const std::string& section;
  std::string fileText;

  // A warning on a key of the section (empty: on the section).
  CheckWarning At(const std::string& key, const char* code, const std::string& text) const {
    return {LineOf(fileText, section, key), code, text};
  }
  std::size_t Read(const char* key, const char* fallback, char* out, std::size_t size) const {
    return env.ProfileRead(section.c_str(), key, fallback, out, size, path.c_str());
  }
};

// The settings as the launcher takes them, the ones it would write because
// they are missing (writes: what it wrote at start-up), and what its "%d"
// makes of them as written.
void FindSettings(const SectionCheck& c, const LauncherState& state,
                  const std::vector<std::string>& writes, SectionFindings& out) {
  out.debugMode = static_cast<int>(state.debugMode);
  out.quitWhenDone = static_cast<int>(state.quitWhenDone);
  out.closeWaitSeconds = static_cast<int>(state.closeWaitSeconds);
  static const char kAbsent[] = "\x01\x02" "absent";
  std::vector<std::pair<const Setting*, std::string>> written;
  for (const Setting& s : kSettings) {
    char value[kEntryBufferSize];
    c.Read(s.key, kAbsent, value, sizeof value);
    if (std::strcmp(value, kAbsent) != 0) written.emplace_back(&s, value);
  }
  for (const std::string& w : writes) {
    bool there = false;
    for (const auto& [s, value] : written) {
      there = there || w.rfind(std::string(s->key) + "=", 0) == 0;
    }
    if (!there) out.missing.push_back(w);
  }
  for (const auto& [s, value] : written) {
    const std::string as = std::string(s->key) + "=" + value;
    std::int32_t n = 0;
    const char* rest = nullptr;
    if (!SettingNumber(value.c_str(), &n, &rest)) {
      out.settingWarnings.push_back(c.At(s->key, "setting-not-a-number",
                                         as + " is not a number: the launcher takes it as 0"));
    } else if (n == -1) {
      out.settingWarnings.push_back(c.At(s->key, "setting-taken-as-missing",
                                         as + " counts as missing: the launcher writes " + s->key +
                                             "=" + s->defaultText + " over it and takes " +
                                             s->defaultText));
    } else if (!Trimmed(rest).empty()) {
      out.settingWarnings.push_back(c.At(
          s->key, "setting-extra-text",
          as + " is taken as " + std::to_string(n) + ": the launcher ignores \"" + rest + "\""));
    }
  }
}

// An entry longer than the launcher's buffer: raw, the count characters it
// reads of it.
void FindEntryCut(const SectionCheck& c, const char* key, const char* raw, std::size_t rawSize,
                  std::size_t count, std::vector<CheckWarning>& out) {
  std::vector<char> whole(4096);
  const std::size_t length = c.Read(key, "", whole.data(), whole.size());
  if (length > count) {
    out.push_back(c.At(
        key, "entry-cut",
        std::string(key) + " holds " + (length + 1 >= whole.size() ? "at least " : "") +
            std::to_string(length) + " characters: the launcher reads only the first " +
            std::to_string(count) + ", up to \"" +
            std::string(raw, std::min(count, rawSize)).substr(count > 20 ? count - 20 : 0) + "\""));
  }
}

// A pause entry's number, as the launcher scans it and as its timer takes it.
void FindPause(const SectionCheck& c, const char* key, const std::string& entry,
               std::vector<CheckWarning>& out) {
  std::int32_t seconds = 0;
  std::string rest;
  if (!ScanPauseSeconds(entry, &seconds, &rest)) {
    out.push_back(
        c.At(key, "pause-without-number",
             std::string(key) + " is a pause without a number of seconds: it pauses nothing"));
    return;
  }
  const std::int64_t asked = static_cast<std::int64_t>(seconds) * 1000;
  const unsigned ms = SecondsToTimerMs(seconds);
  const char* number = SkipBlanks(SkipWord(SkipBlanks(entry.c_str())));
  const std::string writtenNumber(number, SkipWord(number));
  char text[512];
  if (seconds < 0) {
    out.push_back(c.At(key, "pause-negative",
                       std::string(key) + " pauses " + writtenNumber +
                           " seconds, which the launcher takes as 0: the next step comes at once"));
  } else if (asked > ms) {
    std::snprintf(text, sizeof text,
                  "%s asks for %s seconds: the launcher pauses %u ms (about %.1f days), the "
                  "longest a window timer takes",
                  key, writtenNumber.c_str(), ms, ms / 86400000.0);
    out.push_back(c.At(key, "pause-capped", text));
  } else if (seconds > kLongPauseSeconds) {
    std::snprintf(text, sizeof text,
                  "%s pauses %d seconds (about %.1f hours) before the next entry", key,
                  static_cast<int>(seconds), seconds / 3600.0);
    out.push_back(c.At(key, "pause-long", text));
  }
  if (!Trimmed(rest).empty()) {
    out.push_back(c.At(key, "pause-extra-text",
                       std::string(key) + " pauses " + std::to_string(seconds) +
                           (seconds == 1 ? " second" : " seconds") + ", not \"" + writtenNumber +
                           "\": the launcher reads a whole number and ignores \"" + Trimmed(rest) +
                           "\""));
  }
}

// A directory entry: where the current directory goes, and why not.
void FindDirectory(const SectionCheck& c, const DryHost& host, const std::string& entry,
                   CheckStep& step) {
  step.directory = DirectoryField(entry);
  step.directoryAfter = host.currentDirectory;
  step.directoryFailed = host.directoryFailed;
  const std::string& key = step.key;
  const std::string& before = step.directoryBefore;
  if (Trimmed(step.directory).empty()) {
    step.warnings.push_back(
        c.At(key, "directory-empty", key + " is a directory entry without a directory"));
  } else if (host.directoryFailed) {
    step.warnings.push_back(
        c.At(key, "directory-not-found",
             key + ": the directory \"" + step.directory + "\" does not exist" +
                 (before.empty() ? std::string() : " (from " + before + ")") +
                 ": the entries after it run in the launcher's current directory, without "
                 "drive prefixes"));
  }
}

// The programs an entry starts that cannot start: on another drive, or in
// quotes, by the drive prefix rule, or not found.
void FindPrograms(const SectionCheck& c, const StepEntry& entry,
                  const std::vector<std::string>& programs, CheckStep& step) {
  const char* key = step.key.c_str();
  const std::string& cut = step.written;
  const std::string& before = step.directoryBefore;
  const std::size_t drive = !cut.empty() && cut[0] == '"' ? 2 : 1;
  if (entry.prefixed && cut.size() > drive && cut[drive] == ':') {
    if (entry.kind != EntryKind::Pause && entry.kind != EntryKind::Directory) {
      step.warnings.push_back(c.At(key, "drive-prefix-breaks-path",
                                   std::string(key) + " becomes \"" + entry.text +
                                       "\" by the drive prefix rule and cannot start"));
    }
    return;
  }
  for (const std::string& started : programs) {
    const std::vector<std::string> candidates = ProgramCandidates(started);
    bool found = candidates.empty();
    for (const std::string& program : candidates) {
      if (c.env.ProgramExists(program, before)) {
        found = true;
        break;
      }
    }
    if (found) continue;
    const std::string from = before.empty() ? std::string() : " (from " + before + ")";
    std::string text =
        std::string(key) + ": the program \"" + candidates.front() + "\" does not exist" + from;
    if (candidates.size() > 1) {
      text += ", nor does any longer name its blanks allow (up to \"" + candidates.back() + "\")";
    }
    step.warnings.push_back(c.At(key, "program-not-found", text));
  }
}

// Entry index read and run by the launcher on the dry host: the step of
// the plan, with its facts and warnings.
CheckStep FindStep(const SectionCheck& c, DryHost& host, Launcher& launcher, int index) {
  CheckStep step;
  const StepEntry entry = launcher.ReadEntry(index);
  char raw[kEntryBufferSize] = "";
  step.key = BootKey(index);
  const char* key = step.key.c_str();
  const std::size_t count = c.Read(key, "", raw, sizeof raw);
  step.directoryBefore = host.currentDirectory;
  host.Reset();
  launcher.OnTimer(kTimerStep);
  step.kind = entry.kind;
  if (entry.kind == EntryKind::End) {
    step.endEmpty = count == 0;
    return step;
  }
  step.text = entry.text;
  step.written = raw;
  CutComment(step.written);
  FindEntryCut(c, key, raw, sizeof raw, count, step.warnings);
  // The programs the entry starts; an ORM entry starts its program when
  // no ORM runs at log-on.
  std::vector<std::string> programs = host.started;
  switch (entry.kind) {
    case EntryKind::Orm: {
      // Only where a running ORM is left alone is the entry taken as ORM's.
      step.warnings.push_back(
          c.At(key, "orm-entry-skipped",
               std::string(key) + " is an ORM entry, skipped when ORM is already running at log-on "
                                  "(CloseRunningORMandWait is 0)"));
      const EntryKind otherwise = Classify(entry.text, false);
      if (otherwise == EntryKind::Wait) programs.push_back(WaitCommand(entry.text));
      if (otherwise == EntryKind::Command) programs.push_back(entry.text);
      break;
    }
    case EntryKind::Pause:
      FindPause(c, key, entry.text, step.warnings);
      break;
    case EntryKind::Directory:
      FindDirectory(c, host, entry.text, step);
      break;
    case EntryKind::Wait:
      step.starts = WaitCommand(entry.text);
      if (Trimmed(step.starts).empty()) {
        step.warnings.push_back(
            c.At(key, "wait-command-empty",
                 std::string(key) + " is a wait entry with an empty command line"));
      }
      break;
    case EntryKind::Command:
      step.starts = entry.text;
      break;
    case EntryKind::End:
      break;
  }
  FindPrograms(c, entry, programs, step);
  if (host.waiting) {
    launcher.OnAppReady();  // as if the program reported ready
    step.nextMs = 1000;
    step.afterReady = true;
  } else {
    step.nextMs = host.stepMs;
  }
  return step;
}

// Keys the launcher never reads: entries after the end (the entry at end),
// keys it has no use for.
void FindUnreadKeys(const SectionCheck& c, int end, std::vector<CheckWarning>& out) {
  std::vector<std::string> seen;
  for (const std::string& k : c.env.Keys(c.section.c_str(), c.path.c_str())) {
    bool again = false;
    for (const std::string& s : seen) again = again || trelm::ProfileSameName(s, k);
    if (again) continue;  // a repeated key: told from the text
    seen.push_back(k);
    // A name Windows lists but that stands on no key line: a line without
    // '=', told from the text.
    if (!c.fileText.empty() && LineOf(c.fileText, c.section, k) == 0) continue;
    const std::int32_t n = BootIndexOf(k);
    if (n > end) {
      char value[kEntryBufferSize] = "";
      c.Read(k.c_str(), "", value, sizeof value);
      if (value[0] != '\0') {
        out.push_back(
            c.At(k, "entry-after-end", k + " comes after the end of the list and is never read"));
      }
    }
    const auto [code, why] = UnreadKey(k);
    if (code != nullptr) out.push_back(c.At(k, code, why));
  }
}

// What only the text shows: repeated keys, lines without '=', and the
// section again further down, all of which the launcher passes over.
void FindUnreadLines(const SectionCheck& c, std::vector<CheckWarning>& out) {
  const std::string& section = c.section;
  int occurrence = 0, firstHeader = 0, repeatHeader = 0, repeatLines = 0;
  std::vector<std::pair<std::string, int>> keyLines;
  auto endRepeat = [&] {
    if (repeatHeader == 0) return;
    out.push_back({repeatHeader, "section-repeated",
                   "[" + section + "] stands again (first on line " + std::to_string(firstHeader) +
                       "): the launcher reads only the first, so the " +
                       std::to_string(repeatLines) + " line" + (repeatLines == 1 ? "" : "s") +
                       " under this one " + (repeatLines == 1 ? "is" : "are") + " never read"});
    repeatHeader = 0;
  };
  bool inSection = false;
  for (const TextLine& t : ScanText(c.fileText)) {
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
      out.push_back({t.number, "line-without-equals",
                     "\"" + t.name + "\" has no '=': the launcher reads nothing from this line"});
    } else {
      int first = 0;
      for (const auto& [name, at] : keyLines) {
        if (first == 0 && trelm::ProfileSameName(name, t.name)) first = at;
      }
      if (first != 0) {
        out.push_back({t.number, "key-repeated",
                       t.name + " stands again (first on line " + std::to_string(first) +
                           "): the launcher reads only the first"});
      } else {
        keyLines.emplace_back(t.name, t.number);
      }
    }
  }
  endRepeat();
}

}  // namespace

SectionFindings FindSection(CheckEnvironment& env, const std::string& path,
                            const std::string& section, const std::string& configDirectory) {
  SectionFindings out;
  out.section = section;
  const SectionCheck c{env, path, section, env.Text(path.c_str())};
  const std::size_t slash = path.find_last_of("\\/");
  const std::string directory = !configDirectory.empty() ? configDirectory
                                : slash == std::string::npos ? std::string(".")
                                                              : path.substr(0, slash);
  DryHost host(env, directory, path);
  Launcher launcher(host, host);
  launcher.PrepareCheck(slash == std::string::npos ? path.c_str() : path.c_str() + slash + 1,
                        section.c_str());
  const LauncherState& state = launcher.State();
  FindSettings(c, state, host.writes, out);
  host.writes.clear();

  int end = 0;
  // Every entry before the end is a key of the section: the list is
  // followed to its end however long it is, and no further.
  const std::size_t steps = env.Keys(section.c_str(), path.c_str()).size() + 1;
  for (std::size_t step = 0; step < steps && !host.ended; ++step) {
    const int index = static_cast<int>(state.bootIndex) + 1;
    out.steps.push_back(FindStep(c, host, launcher, index));
    if (out.steps.back().kind == EntryKind::End) {
      end = index;
      break;
    }
  }
  if (end == 1 && !host.writes.empty()) {
    out.unread.push_back(c.At("", "list-empty-template",
                              "the list is empty: the launcher would fill this section with the "
                              "empty template (Boot_1 to Boot_10)"));
  }
  FindUnreadKeys(c, end, out.unread);
  FindUnreadLines(c, out.unread);
  return out;
}

CheckReport CheckSection(CheckEnvironment& env, const std::string& path, const std::string& section,
                         const std::string& configDirectory) {
  return PrintSection(FindSection(env, path, section, configDirectory));
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

}  // namespace pellor
