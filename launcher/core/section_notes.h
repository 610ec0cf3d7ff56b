// What the launch-list checker says of a list's sections as a whole: which
// workstation sections there are, which a workstation number reads, and
// the lines that stand before any section. Portable: no <windows.h>.
#pragma once

#include <string>
#include <vector>

#include "core/list_text.h"

namespace pellor {

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

}  // namespace pellor
