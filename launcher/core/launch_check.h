// The launch-list checker: what the launcher will do with each
// workstation's section of a launch list, step by step, and the pitfalls
// it would meet. It runs the launcher's own code on a host that starts,
// changes and writes nothing. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "profile_access.h"

namespace pellor {

// What the checker reads: the launch list, its sections and keys, and
// whether programs exist.
class CheckEnvironment : public trelm::ProfileReader {
 public:
  virtual std::vector<std::string> Sections(const char* file) = 0;
  virtual std::vector<std::string> Keys(const char* section, const char* file) = 0;
  // Whether the program a command line starts can be found, searched from
  // the given current directory as starting it would ("" for the checker's
  // own).
  virtual bool ProgramExists(const std::string& program, const std::string& currentDirectory) = 0;
};

struct CheckReport {
  std::vector<std::string> lines;  // the settings, the plan and the warnings, in order
  int warnings = 0;
};

// Checks one "Workstation_%03d" section of the launch list at path.
CheckReport CheckSection(CheckEnvironment& environment, const std::string& path,
                         const std::string& section);

// The program of a command line: its first word, or the text in quotes.
std::string ProgramOf(const std::string& commandLine);

}  // namespace pellor
