// The launch-list checker's findings printed: a section's text lines, and
// a whole check as one JSON object. Portable: no <windows.h>.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/list_text.h"
#include "core/section_findings.h"

namespace pellor {

struct CheckReport {
  std::vector<std::string> lines;  // the settings, the plan and the warnings, in order
  int warnings = 0;
  std::vector<CheckWarning> found;  // the warnings alone
};

// A section's findings as the lines launchcheck prints, each warning among
// them where it arises.
CheckReport PrintSection(const SectionFindings& findings);

// A whole check as one JSON object: the file, the configuration directory
// taken, the machine whose programs were looked up, warnings about the
// file's sections, and each section checked.
std::string JsonReport(const std::string& file, const std::string& configDirectory,
                       const std::string& machine, const std::vector<CheckWarning>& fileWarnings,
                       const std::vector<std::pair<std::string, CheckReport>>& sections);

}  // namespace pellor
