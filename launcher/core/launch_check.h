// The launch-list checker: what the launcher will do with each
// workstation's section of a launch list, step by step, and the pitfalls
// it would meet. It runs the launcher's own code on a host that starts,
// changes and writes nothing, gathers what it finds, then prints it
// (check_report). Portable: no <windows.h>.
#pragma once

#include <string>
#include <vector>

#include "core/check_report.h"
#include "core/list_text.h"
#include "core/section_findings.h"
#include "core/section_notes.h"
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
  // Whether the launcher, in currentDirectory ("" for the checker's own),
  // could change to directory; full: the directory it would then be in.
  virtual bool DirectoryExists(const std::string& directory, const std::string& currentDirectory,
                               std::string* full) = 0;
  // The file's text as the profile calls read it (ReadListText, list_text.h), for
  // the line numbers of warnings and the lines the profile calls pass over;
  // "" when unknown.
  virtual std::string Text(const char* /*file*/) { return std::string(); }
};

// Finds what the launcher does with one "Workstation_%03d" section of the
// launch list at path, as the launcher of a workstation whose
// configuration directory is configDirectory sees it: that directory's
// drive is the start drive of the drive prefix rule. "" takes the file's
// own directory.
SectionFindings FindSection(CheckEnvironment& environment, const std::string& path,
                            const std::string& section, const std::string& configDirectory = "");

// The same, printed: PrintSection(FindSection(...)).
CheckReport CheckSection(CheckEnvironment& environment, const std::string& path,
                         const std::string& section, const std::string& configDirectory = "");

// The programs that CreateProcessA with no application name tries for a
// command line, in its order: the text in quotes, else each longer run of
// words ("c:\Program", then "c:\Program Files\App\app.exe", ...).
std::vector<std::string> ProgramCandidates(const std::string& commandLine);

}  // namespace pellor
