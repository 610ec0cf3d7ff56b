// The command line of the toolset's console programs (pktdump, nbtraffic,
// launchcheck): one parser for all of them. A program has one table of
// options, each row naming the option, whether a value follows and what it
// sets; each of its modes names, in its own row, the options it takes and
// its usage line. An option a mode lacks is refused by that row, never by a
// copy of the parser. Usage errors take one form: "PROGRAM: WHY" and the
// program's pointer to its help. Portable.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace trelm {

// How a program speaks of its command line.
struct CommandLine {
  const char* program;  // "pktdump"
  const char* hint;     // ends every usage error: "; see pktdump --help"
  // Shown on the standard error after a usage error's line; nullptr: none.
  const char* usage = nullptr;
  // "--" ends the options: every word after it is a word, "-x" too.
  bool doubleDashEndsOptions = false;
  // The words that ask for the help or the version, parted by spaces:
  // answered where an option or a word stands, never as an option's value.
  const char* answers = nullptr;
  // A word that is no option is a usage error where it stands.
  bool noWords = false;
};

// A usage error said as the program says it; returns 2, the exit code of
// every usage error.
int UsageError(const CommandLine& line, const std::string& why, std::FILE* err);

// The usage lines of a program's modes: "usage: PROGRAM LINE", then each
// further line under the first.
std::string UsageLines(const char* program, const std::vector<const char*>& lines);

// Whether a word is an option: it starts with '-' and is neither "-" (the
// standard input) nor a negative number.
bool IsOption(const std::string& word);
// Whether a list of words parted by spaces (nullptr: none) holds the word.
bool Listed(const char* list, const std::string& word);

// Why an option cannot stand where it does, or "" when it can: unknown
// (known false), not one of the mode's options (modeOptions: the names it
// takes, parted by spaces; nullptr: every option), or given again when it
// stands once.
std::string OptionRefusal(const std::string& word, bool known, const char* mode,
                          const char* modeOptions, bool givenAgain);

// One row of a program's option table.
template <class Settings>
struct Option {
  const char* name;  // "--ini"
  // What follows it, as a usage error names what is missing ("a value", "a
  // directory"); nullptr: nothing follows.
  const char* value;
  bool repeats;  // may stand more than once (each value taken in turn)
  // Takes the value ("" for an option without one) into the settings;
  // false with *why, a usage error.
  bool (*take)(Settings& settings, const std::string& value, std::string* why);
};

// Reads args from first on: each option of the table that the mode takes
// (modeOptions as OptionRefusal has it) taken into settings in order, every
// other word into *words; *given, where asked, has each option's name as
// it came, for the checks of how they go together. A word of the
// program's answers ends the reading with *answer set. False with *why at
// the first usage error.
template <class Settings, std::size_t N>
bool ReadOptions(const CommandLine& line, const Option<Settings> (&table)[N], const char* mode,
                 const char* modeOptions, const std::vector<std::string>& args, std::size_t first,
                 Settings& settings, std::vector<std::string>* words, std::string* why,
                 std::vector<std::string>* given = nullptr, std::string* answer = nullptr) {
  std::vector<const Option<Settings>*> taken;
  bool options = true;
  for (std::size_t i = first; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (options && line.doubleDashEndsOptions && word == "--") {
      options = false;
      continue;
    }
    if (options && answer != nullptr && Listed(line.answers, word)) {
      *answer = word;
      return true;
    }
    if (line.noWords && !IsOption(word)) {
      *why = "unknown argument '" + word + "'";
      return false;
    }
    if (!options || !IsOption(word)) {
      words->push_back(word);
      continue;
    }
    const Option<Settings>* option = nullptr;
    for (const Option<Settings>& row : table) {
      if (word == row.name) option = &row;
    }
    bool again = false;
    for (const Option<Settings>* t : taken) again = again || t == option;
    *why = OptionRefusal(word, option != nullptr, mode, modeOptions,
                         again && option != nullptr && !option->repeats);
    if (!why->empty()) return false;
    taken.push_back(option);
    if (given != nullptr) given->push_back(word);
    std::string value;
    if (option->value != nullptr) {
      if (i + 1 >= args.size()) {
        *why = word + " needs " + option->value;
        return false;
      }
      value = args[++i];
    }
    if (!option->take(settings, value, why)) return false;
  }
  return true;
}

// A whole number from min to max, the whole text (no blank, no sign but a
// leading '-' or '+'); false for any other text.
bool WholeNumber(const std::string& text, long long min, long long max, long long* value);

// An option's value as a whole number from min to max into *into, or false
// with *why: "WHAT, not 'VALUE'" (what: "--channel is a channel number, 0
// to 99").
template <class Number>
bool TakeWholeNumber(const std::string& value, long long min, long long max, Number* into,
                     const char* what, std::string* why) {
  long long number = 0;
  if (!WholeNumber(value, min, max, &number)) {
    *why = std::string(what) + ", not '" + value + "'";
    return false;
  }
  *into = static_cast<Number>(number);
  return true;
}

}  // namespace trelm
