// The launch-list checker's printing: a section's findings as text lines,
// in the order the launcher meets them, and the whole check as JSON made
// of those lines and warnings.
#include "core/check_report.h"

#include <cstdio>

#include "json_text.h"

namespace pellor {

namespace {

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

// The report a section's lines are added to.
class Printer {
 public:
  explicit Printer(CheckReport& report) : report_(report) {}
  void Line(const std::string& text) { report_.lines.push_back(text); }
  void Warning(const CheckWarning& w) {
    report_.lines.push_back(
        "  warning: " + (w.line > 0 ? "line " + std::to_string(w.line) + ": " : "") + w.text);
    report_.found.push_back(w);
    ++report_.warnings;
  }

 private:
  CheckReport& report_;
};

// What a step does, on a line of its own under the step; "" for a step
// that says nothing more (a pause).
std::string StepDoes(const CheckStep& step) {
  switch (step.kind) {
    case EntryKind::Orm:
      return "    skipped when ORM is already running at log-on; otherwise starts ORM";
    case EntryKind::Directory:
      if (step.directoryFailed) {
        return "    cannot change the current directory to \"" + step.directory + "\": it stays " +
               (step.directoryBefore.empty() ? std::string("the launcher's own")
                                             : "\"" + step.directoryBefore + "\"");
      }
      return "    changes the current directory to \"" + step.directoryAfter + "\"";
    case EntryKind::Wait:
      return "    starts \"" + step.starts +
             "\" and waits for its ready report (30 s, three retries)";
    case EntryKind::Command:
      return "    starts \"" + step.starts + "\"";
    case EntryKind::Pause:
    case EntryKind::End:
      break;
  }
  return std::string();
}

// The warnings told before what a step does: those about reading the
// entry (cut short; a wait entry without a command line).
bool ToldFirst(const CheckWarning& w) {
  return w.code == "entry-cut" || w.code == "wait-command-empty";
}

void PrintStep(Printer& out, const CheckStep& step) {
  if (step.kind == EntryKind::End) {
    const std::string why =
        step.endEmpty ? "an empty or missing entry" : "an entry shorter than 2 characters";
    out.Line("  " + step.key + ": the list ends here (" + why + ")");
    return;
  }
  std::string plan = "  " + step.key + "=" + step.text + "  [" + KindText(step.kind) + "]";
  if (step.text != step.written) plan += " (as written: " + step.written + ")";
  out.Line(plan);
  for (const CheckWarning& w : step.warnings) {
    if (ToldFirst(w)) out.Warning(w);
  }
  const std::string does = StepDoes(step);
  if (!does.empty()) out.Line(does);
  for (const CheckWarning& w : step.warnings) {
    if (!ToldFirst(w)) out.Warning(w);
  }
  if (step.nextMs >= 0) {
    char text[512];
    std::snprintf(text, sizeof text, "    next step after %ld ms%s", step.nextMs,
                  step.afterReady ? ", once the program reports ready" : "");
    out.Line(text);
  }
}

}  // namespace

CheckReport PrintSection(const SectionFindings& findings) {
  CheckReport report;
  Printer out(report);
  out.Line("[" + findings.section + "]");
  char text[512];
  std::snprintf(text, sizeof text, "  DebugMode=%d QuitWhenDone=%d CloseRunningORMandWait=%d",
                findings.debugMode, findings.quitWhenDone, findings.closeWaitSeconds);
  out.Line(text);
  for (const std::string& w : findings.missing) out.Line("  missing: the launcher would write " + w);
  for (const CheckWarning& w : findings.settingWarnings) out.Warning(w);
  for (const CheckStep& step : findings.steps) PrintStep(out, step);
  for (const CheckWarning& w : findings.unread) out.Warning(w);
  if (findings.quitWhenDone != 0) out.Line("  the launcher then ends (QuitWhenDone)");
  return report;
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
