// The launch-list checker: what the launcher will do with each
// workstation's section of a launch list, step by step, and the pitfalls
// it would meet. It runs the launcher's own code on a host that starts,
// changes and writes nothing. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
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
  // Whether the launcher, in currentDirectory ("" for the checker's own),
  // could change to directory; full: the directory it would then be in.
  virtual bool DirectoryExists(const std::string& directory, const std::string& currentDirectory,
                               std::string* full) = 0;
  // The file's text as the profile calls read it (ReadListText below), for
  // the line numbers of warnings and the lines the profile calls pass over;
  // "" when unknown.
  virtual std::string Text(const char* /*file*/) { return std::string(); }
};

// One warning: its line, a code that stays the same from release to
// release (for scripts: "pause-capped", "key-repeated", ...; the README
// lists them), and the text.
struct CheckWarning {
  int line = 0;  // in the file, from 1; 0 when unknown
  std::string code;
  std::string text;
};

struct CheckReport {
  std::vector<std::string> lines;  // the settings, the plan and the warnings, in order
  int warnings = 0;
  std::vector<CheckWarning> found;  // the warnings alone
};

// Checks one "Workstation_%03d" section of the launch list at path, as the
// launcher of a workstation whose configuration directory is
// configDirectory sees it: that directory's drive is the start drive of
// the drive prefix rule. "" takes the file's own directory.
CheckReport CheckSection(CheckEnvironment& environment, const std::string& path,
                         const std::string& section, const std::string& configDirectory = "");

// A workstation number as written: a minus sign or none, then one to nine
// digits; false for any other text.
bool WorkstationNumber(const std::string& text, long* number);

// Why the launcher never reads a section that looks like a workstation's
// ("Workstation_12": it reads "Workstation_012"; "Workstation_000"), or
// reads it only for a workstation number from ORM.INI (1000) or
// only from its command line ("Workstation_-01"); code "" when any way of
// giving the workstation number reads it.
CheckWarning SectionNote(const std::string& section);
// True for a note's code that says the section is never read.
bool NeverRead(const CheckWarning& note);

// The workstation sections of a file, each once (the launcher reads the
// first of a name; CheckSection warns of the others), in file order.
std::vector<std::string> WorkstationSections(const std::vector<std::string>& sections);

// Warnings about the file as a whole: lines before any section.
std::vector<CheckWarning> CheckFileText(const std::string& text);

// Narrows one line of UTF-16 text as the "A" profile calls narrow what they
// read (to the machine's ANSI code page); *changed when a character came
// out otherwise than it stands (as '?', or as a look-alike).
using Narrowing = std::string (*)(const std::u16string& line, bool* changed);

// A launch list's bytes as the profile calls read them. A file that starts
// with a byte-order mark, UTF-16 little-endian (FF FE: Notepad's
// "Unicode"), UTF-16 big-endian (FE FF) or UTF-8 (EF BB BF), is decoded
// without its mark and narrowed line by line by narrow (nullptr: ASCII
// stays, any other character is read as '?'); any other file is its bytes
// as they stand. The warnings say, each on its line (0: the whole file),
// what the decoding could not keep or what Windows reads otherwise:
// "text-malformed" (half a surrogate pair, bytes that are no UTF-8: each
// read as '?'; an odd byte count: the last byte read as the character of
// its value, as Wine reads it), "text-not-ansi" (a line the launcher
// reads holds characters its code page has not: the line as it reads it),
// "encoding-breaks-on-windows" (UTF-16 big-endian, or a UTF-8 mark where it
// matters: Wine's profile calls decode them, Windows' do not).
struct ListText {
  std::string text;
  std::vector<CheckWarning> warnings;
};
ListText ReadListText(const std::string& bytes, Narrowing narrow = nullptr);

// The section a line of the text stands in (its header line included);
// "" before the first section.
std::string SectionAt(const std::string& text, int line);

// The line of a key in a section of a profile's text (the first, as
// Windows reads it), or of the section's own line for an empty key; 0
// when it is not there.
int LineOf(const std::string& text, const std::string& section, const std::string& key);

// The programs that CreateProcessA with no application name tries for a
// command line, in its order: the text in quotes, else each longer run of
// words ("c:\Program", then "c:\Program Files\App\app.exe", ...).
std::vector<std::string> ProgramCandidates(const std::string& commandLine);

// A whole check as one JSON object: the file, the configuration directory
// taken, the machine whose programs were looked up, warnings about the
// file's sections, and each section checked.
std::string JsonReport(const std::string& file, const std::string& configDirectory,
                       const std::string& machine, const std::vector<CheckWarning>& fileWarnings,
                       const std::vector<std::pair<std::string, CheckReport>>& sections);

}  // namespace pellor
