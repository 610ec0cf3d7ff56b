// nbtraffic's command line: its options as parsed, and the parse, which
// checks every option and how they go together before anything is opened:
// a value out of range, options that contradict each other, a name or text
// longer than the protocol carries are refused with one line. Portable.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "traffic_mix.h"

namespace nbtraffic {

// A recorded pause longer than this (seconds, after --speed) is cut to it:
// a gap between two runs in one file, or a clock set, never stalls a send.
constexpr double kDefaultMaxPause = 10;

struct Options {
  std::string mode;
  std::string answer;  // --help or --version: answered, nothing else done
  std::vector<std::string> given;  // the options given, for the conflicts
  int channel = 0;
  int lana = 0;
  std::string to;
  std::string from = "NBTRAFFIC";
  trelm_traffic::Kind kind = trelm_traffic::Kind::Mix;
  std::string text;
  std::string file;
  long count = -1;
  long first = 1;
  double rate = 0;
  bool recordedPace = false;
  double speed = 1;
  double maxPause = kDefaultMaxPause;
  double seconds = 0;
  bool quiet = false;
  bool hex = false;
  bool stamped = true;
  bool packets = false;
  std::string out;
  std::vector<std::string> names;

  bool Has(const char* option) const {
    return std::find(given.begin(), given.end(), option) != given.end();
  }
};

// The command line (the program's name first): false with one phrase, a
// usage error. --help, -h or --version as the mode or where an option
// stands (never as an option's value) is answered (o.answer), nothing else
// done.
bool Parse(const std::vector<std::string>& args, Options& o, std::string& error);

// The help text (--help).
std::string HelpText();

// The text with "%d" (with flags and a width, as in "%03d") replaced by the
// number and "%%" by a '%'; any other '%' (a "%s" in a command, say) stays
// as it stands. The text is never used as a format.
std::string NumberedText(const std::string& pattern, long long number);

}  // namespace nbtraffic
