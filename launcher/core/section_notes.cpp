// The launch list's sections as a whole: the workstation numbers that read
// each, and the lines before the first section, which nothing reads.
#include "core/section_notes.h"

#include <cstdio>
#include <cstdlib>

#include "profile_text.h"

namespace pellor {

std::vector<std::string> WorkstationSections(const std::vector<std::string>& sections) {
  std::vector<std::string> out;
  for (const std::string& s : sections) {
    if (s.size() < 12 || !trelm::ProfileSameName(s.substr(0, 12), "Workstation_")) continue;
    bool again = false;
    for (const std::string& o : out) again = again || trelm::ProfileSameName(o, s);
    if (!again) out.push_back(s);
  }
  return out;
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

CheckWarning SectionNote(const std::string& section) {
  long n = 0;
  if (!WorkstationNumber(section.size() > 12 ? section.substr(12) : std::string(), &n)) {
    return {0, "section-never-read", "[" + section + "] is never read: no workstation number gives it"};
  }
  const std::string suffix = section.substr(12);
  char read[32];
  std::snprintf(read, sizeof read, "Workstation_%03ld", n);
  if (suffix != read + 12) {
    return {0, "section-never-read", "[" + section + "] is never read: workstation " +
                                         std::to_string(n) + " reads [" + read + "]"};
  }
  if (n == 0) {
    return {0, "section-never-read",
            "[" + section + "] is never read: 0 on the launcher's command line means none, and 0 "
            "in ORM.INI is no workstation number"};
  }
  if (n == -1) {
    return {0, "section-command-line-only",
            "[" + section + "] is read only for -1 on the launcher's command line: -1 in ORM.INI "
            "means the workstation number is not set"};
  }
  if (n == 1000) {
    // 1000 is what the launcher appends to its command line: given there,
    // it counts as none. Any other number is taken as it stands.
    return {0, "section-ormini-only",
            "[" + section + "] is read only for a workstation number from ORM.INI: the launcher "
            "takes 1000 on its command line as none"};
  }
  return {};
}

bool NeverRead(const CheckWarning& note) { return note.code == "section-never-read"; }

std::vector<CheckWarning> CheckFileText(const std::string& text) {
  std::vector<CheckWarning> out;
  for (const TextLine& t : ScanText(text)) {
    if (t.kind == TextLine::kSection) break;
    if (t.kind == TextLine::kKey || t.kind == TextLine::kNoEquals) {
      out.push_back({t.number, "key-before-section",
                     "\"" + t.name + "\" stands before any section: the launcher never reads it"});
    }
  }
  return out;
}

}  // namespace pellor
