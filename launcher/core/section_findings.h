// What the launch-list checker finds in one workstation's section, before
// any of it is printed: the settings the launcher reads, each step of its
// plan with its facts, and the warnings. check_report prints them.
// Portable: no <windows.h>.
#pragma once

#include <string>
#include <vector>

#include "core/launch_list.h"
#include "core/list_text.h"

namespace pellor {

// One step of the plan: an entry the launcher reads, and what it does.
struct CheckStep {
  std::string key;  // "Boot_3"
  EntryKind kind = EntryKind::End;
  bool endEmpty = false;  // an end: the entry is empty or missing (else shorter than 2 characters)
  std::string text;       // the entry as the launcher takes it: comment cut, drive prefix put
  std::string written;    // the entry as written, its comment cut
  std::string starts;     // a wait or command entry: the command line it starts
  // A directory entry: the directory asked for; the current directory
  // before the step and after it; whether the change fails.
  std::string directory;
  std::string directoryBefore;
  std::string directoryAfter;
  bool directoryFailed = false;
  std::vector<CheckWarning> warnings;  // the entry's own, in the order found
  long nextMs = -1;         // the next step comes after this many ms; -1: not by a timer
  bool afterReady = false;  // the next step waits for the program's ready report
};

struct SectionFindings {
  std::string section;
  // The settings as the launcher takes them.
  int debugMode = 0;
  int quitWhenDone = 0;
  int closeWaitSeconds = 0;
  std::vector<std::string> missing;           // "key=value" the launcher would write
  std::vector<CheckWarning> settingWarnings;  // what "%d" makes of the settings as written
  std::vector<CheckStep> steps;               // in order, the end of the list the last
  // What the launcher never reads: an empty list filled with the template,
  // keys it has no use for, entries after the end, repeated keys and
  // sections, lines without '='.
  std::vector<CheckWarning> unread;
};

}  // namespace pellor
