// nbtraffic's command line: the modes' and the options' tables, the help
// text, and how the options go together.
#include "traffic_options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "command_line.h"
#include "net/nbdgm.h"

namespace nbtraffic {

namespace {

// nbtraffic's modes, each with its usage line and the options it takes.
const struct {
  const char* name;
  const char* usage;
  const char* options;
} kModes[] = {
    {"send", "send (--channel N | --to NAME) [OPTIONS]",
     "--channel --to --from --lana --commands --revertives --mix --text --first --file --count "
     "--seconds --rate --pace --speed --max-pause --quiet"},
    {"listen", "listen --name NAME [--name NAME ...] [OPTIONS]",
     "--name --lana --count --seconds --out --format --hex --no-time"},
};

// What the help says after the usage lines.
const char kHelpRest[] =
    "\n"
    "send: sends datagrams onto a LANA's network.\n"
    "  --channel N      0 to 99: commands go to DEVICE_CONTROL<N>, revertives to ORM<N>\n"
    "                   (0: the plain names DEVICE_CONTROL and ORM)\n"
    "  --to NAME        every datagram to NAME instead (at most 16 characters)\n"
    "  --from NAME      the source name (at most 16 characters; NBTRAFFIC)\n"
    "  --lana N         the LANA, 0 to 254 (0)\n"
    "  What is sent (without --text or --file: a realistic generated mix):\n"
    "  --commands       only commands\n"
    "  --revertives     only revertives\n"
    "  --mix            both (the default)\n"
    "  --text TEXT      that text (at most 512 bytes once numbered): %d (with flags and\n"
    "                   a width, as %03d) becomes the datagram's number, %% a %, any other\n"
    "                   % stays; with --mix odd numbers go as commands, even ones as\n"
    "                   revertives\n"
    "  --first N        with --text: the number of the first datagram (0 or more; 1)\n"
    "  --file PKT_FILE  a packet data file's records in order, type 1 as commands,\n"
    "                   type 2 as revertives\n"
    "  How many and how fast:\n"
    "  --count N        N datagrams (1 or more; default: one, or the file's records once)\n"
    "  --seconds S      for S seconds (a number above 0), through a file again and again;\n"
    "                   with --count, whichever ends first\n"
    "  --rate R         R datagrams a second (a number above 0; default: as fast as it\n"
    "                   can)\n"
    "  --pace recorded  with --file: its records at the pace they arrived (records that\n"
    "                   carry their arrival); a record that arrived before the one before\n"
    "                   goes at once\n"
    "  --pace rate      the pace of --rate (the default)\n"
    "  --speed F        with --pace recorded: F times as fast (a number above 0; 1)\n"
    "  --max-pause S    with --pace recorded: a longer pause (between two runs, a clock\n"
    "                   set) is cut to S seconds (a number above 0; 10)\n"
    "  --quiet          no summary line unless a send failed\n"
    "\n"
    "listen: prints or records every datagram addressed to one of the names.\n"
    "  --name NAME      a name to listen for (at most 16 characters); again for more\n"
    "  --lana N         the LANA, 0 to 254 (0)\n"
    "  --count N        stop after N datagrams (1 or more)\n"
    "  --seconds S      stop after S seconds (a number above 0); with --count, whichever\n"
    "                   comes first\n"
    "  --out FILE       write to FILE instead of the standard output (\"-\")\n"
    "  --format text    one line a datagram (the default), FILE replaced:\n"
    "                   TIME DESTINATION <- SOURCE LENGTH: DATA, TIME the local time as\n"
    "                   HH:MM:SS.mmm, bytes outside printable ASCII and \\ as \\xNN\n"
    "  --hex            the data as hex bytes\n"
    "  --no-time        lines without their time\n"
    "  --format packets a packet data file of timed records (as Varnet writes with\n"
    "                   PacketTimes=1), appended to --out FILE as a new run: datagrams to\n"
    "                   a name beginning with ORM as revertives, the others as commands;\n"
    "                   sequence numbers count the datagrams heard from 1; a datagram\n"
    "                   longer than 512 bytes is recorded cut to 512, and counted\n"
    "  Once it listens, \"listening on LANA N\" starts a text output, and goes to the\n"
    "  standard error where the output is not the standard output.\n"
    "\n"
    "The transport's settings come from VELKNB_INTERFACE (an address of this machine;\n"
    "127.0.0.1), VELKNB_GROUP (a multicast group; 239.255.138.1) and VELKNB_BASEPORT\n"
    "(13800; LANA n uses port BasePort + n).\n"
    "Exit code: 0 done, 1 a file, the network or a send failed, 2 usage.\n";

const trelm::CommandLine kCommandLine = {"nbtraffic", " (nbtraffic --help lists the options)", nullptr,
                                         false, "--help -h --version", true};

// A finite number above 0, the whole text.
bool PositiveNumber(const char* text, double* value) {
  if (*text == '\0' || std::isspace(static_cast<unsigned char>(*text))) return false;
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (*end != '\0' || !std::isfinite(v) || !(v > 0)) return false;
  *value = v;
  return true;
}

// A number above 0 into *into, or false with why.
bool Above0(const std::string& v, double* into, const char* what, std::string* why) {
  if (!PositiveNumber(v.c_str(), into)) *why = std::string(what) + ", not '" + v + "'";
  return why->empty();
}

// A name of 1 to 16 characters into *into, or false with why.
bool Name(const char* option, const std::string& v, std::string* into, std::string* why) {
  if (v.empty() || v.size() > velknb::kNameSize) {
    *why = std::string(option) + " is a name of 1 to 16 characters, not '" + v + "'";
    return false;
  }
  *into = v;
  return true;
}

using trelm_traffic::Kind;

// Every option nbtraffic has; the modes' rows say which each takes. Only
// --name may stand again.
const trelm::Option<Options> kOptions[] = {
    {"--channel", "a value", false,
     [](Options& o, const std::string& v, std::string* why) {
       return trelm::TakeWholeNumber(v, 0, 99, &o.channel, "--channel is a channel number, 0 to 99",
                                     why);
     }},
    {"--to", "a value", false,
     [](Options& o, const std::string& v, std::string* why) {
       return Name("--to", v, &o.to, why);
     }},
    {"--from", "a value", false,
     [](Options& o, const std::string& v, std::string* why) {
       return Name("--from", v, &o.from, why);
     }},
    {"--lana", "a value", false,
     [](Options& o, const std::string& v, std::string* why) {
       return trelm::TakeWholeNumber(v, 0, 254, &o.lana, "--lana is a LANA number, 0 to 254", why);
     }},
    {"--commands", nullptr, false,
     [](Options& o, const std::string&, std::string*) {
       o.kind = Kind::Commands;
       return true;
     }},
    {"--revertives", nullptr, false,
     [](Options& o, const std::string&, std::string*) {
       o.kind = Kind::Revertives;
       return true;
     }},
    {"--mix", nullptr, false,
     [](Options& o, const std::string&, std::string*) {
       o.kind = Kind::Mix;
       return true;
     }},
    {"--text", "a value", false,
     [](Options& o, const std::string& v, std::string*) {
       o.text = v;
       return true;
     }},
    {"--first", "a value", false,
     [](Options& o, const std::string& v, std::string* why) {
       return trelm::TakeWholeNumber(v, 0, 0x7FFFFFFFL, &o.first,
                                     "--first is a datagram number, 0 or more", why);
     }},
    {"--file", "a value", false,
     [](Options& o, const std::string& v, std::string* why) {
       if (v.empty()) *why = "--file needs a file name";
       o.file = v;
       return why->empty();
     }},
    {"--count", "a value", false,
     [](Options& o, const std::string& v, std::string* why) {
       return trelm::TakeWholeNumber(v, 1, 0x7FFFFFFFL, &o.count,
                                     "--count is a number of datagrams, 1 or more", why);
     }},
    {"--seconds", "a value", false,
     [](Options& o, const std::string& v, std::string* why) {
       return Above0(v, &o.seconds, "--seconds is a number above 0", why);
     }},
    {"--rate", "a value", false,
     [](Options& o, const std::string& v, std::string* why) {
       return Above0(v, &o.rate, "--rate is datagrams a second, a number above 0", why);
     }},
    {"--pace", "a value", false,
     [](Options& o, const std::string& v, std::string* why) {
       if (v != "recorded" && v != "rate") *why = "--pace is recorded or rate, not '" + v + "'";
       o.recordedPace = v == "recorded";
       return why->empty();
     }},
    {"--speed", "a value", false,
     [](Options& o, const std::string& v, std::string* why) {
       return Above0(v, &o.speed, "--speed is a factor above 0", why);
     }},
    {"--max-pause", "a value", false,
     [](Options& o, const std::string& v, std::string* why) {
       return Above0(v, &o.maxPause, "--max-pause is a number of seconds above 0", why);
     }},
    {"--quiet", nullptr, false,
     [](Options& o, const std::string&, std::string*) {
       return o.quiet = true;
     }},
    {"--name", "a value", true,
     [](Options& o, const std::string& v, std::string* why) {
       o.names.emplace_back();
       return Name("--name", v, &o.names.back(), why);
     }},
    {"--out", "a value", false,
     [](Options& o, const std::string& v, std::string* why) {
       if (v.empty()) *why = "--out needs a file name, or - for the standard output";
       o.out = v;
       return why->empty();
     }},
    {"--format", "a value", false,
     [](Options& o, const std::string& v, std::string* why) {
       if (v != "text" && v != "packets") *why = "--format is text or packets, not '" + v + "'";
       o.packets = v == "packets";
       return why->empty();
     }},
    {"--hex", nullptr, false,
     [](Options& o, const std::string&, std::string*) {
       return o.hex = true;
     }},
    {"--no-time", nullptr, false,
     [](Options& o, const std::string&, std::string*) {
       o.stamped = false;
       return true;
     }},
};

// How a send's options go together; "" when they do.
std::string SendTogether(const Options& o) {
  auto both = [&](const char* a, const char* b) {
    return o.Has(a) && o.Has(b) ? std::string(a) + " and " + b + " cannot be given together"
                                : std::string();
  };
  if (!o.Has("--channel") && !o.Has("--to")) return "send needs --channel N or --to NAME";
  for (const auto& [a, b] : {std::pair<const char*, const char*>{"--channel", "--to"},
                             {"--text", "--file"},
                             {"--commands", "--revertives"},
                             {"--commands", "--mix"},
                             {"--revertives", "--mix"}}) {
    if (!both(a, b).empty()) return both(a, b);
  }
  for (const char* kind : {"--commands", "--revertives", "--mix"}) {
    if (o.Has(kind) && o.Has("--file")) {
      return std::string(kind) + " does not apply to --file: its records keep their kinds";
    }
  }
  if (o.Has("--first") && !o.Has("--text")) return "--first needs --text";
  if (o.recordedPace && o.Has("--rate"))
    return "--rate and --pace recorded cannot be given together";
  if (o.recordedPace && o.file.empty()) return "--pace recorded needs --file";
  for (const char* paced : {"--speed", "--max-pause"}) {
    if (o.Has(paced) && !o.recordedPace) return std::string(paced) + " needs --pace recorded";
  }
  if (o.Has("--text")) {
    const std::size_t size = NumberedText(o.text, o.first).size();
    if (size > velknb::kMaxUserData) {
      return "--text is longer than a datagram carries (" + std::to_string(size) +
             " bytes, at most 512)";
    }
  }
  return std::string();
}

// How a listen's options go together; "" when they do.
std::string ListenTogether(const Options& o) {
  if (o.names.empty()) return "listen needs --name";
  if (!o.packets) return std::string();
  if (o.out.empty()) return "--format packets needs --out FILE (or - for the standard output)";
  for (const char* other : {"--hex", "--no-time"}) {
    if (o.Has("--format") && o.Has(other)) {
      return std::string("--format and ") + other +
             " cannot be given together (--format packets records the bytes and their arrival)";
    }
  }
  return std::string();
}

}  // namespace

std::string HelpText() {
  return trelm::UsageLines("nbtraffic", {kModes[0].usage, kModes[1].usage, "--help | --version"}) +
         kHelpRest;
}

bool Parse(const std::vector<std::string>& args, Options& o, std::string& error) {
  o.mode = args.size() > 1 ? args[1] : std::string();
  if (trelm::Listed(kCommandLine.answers, o.mode)) {
    o.answer = o.mode;
    return true;
  }
  const char* options = nullptr;
  for (const auto& mode : kModes) {
    if (o.mode == mode.name) options = mode.options;
  }
  if (options == nullptr) {
    error = "the mode is send or listen, not '" + o.mode + "'";
    return false;
  }
  std::vector<std::string> words;  // none: the table's noWords
  if (!trelm::ReadOptions(kCommandLine, kOptions, o.mode.c_str(), options, args, 2, o, &words, &error,
                          &o.given, &o.answer)) {
    return false;
  }
  if (!o.answer.empty()) return true;
  error = o.mode == "send" ? SendTogether(o) : ListenTogether(o);
  return error.empty();
}

std::string NumberedText(const std::string& pattern, long long number) {
  std::string text;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      text += pattern[i];
      continue;
    }
    if (pattern.compare(i, 2, "%%") == 0) {
      text += '%';
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    while (end < pattern.size() && std::strchr("-+ 0#", pattern[end]) != nullptr) ++end;
    while (end < pattern.size() && end - i < 8 &&
           std::isdigit(static_cast<unsigned char>(pattern[end])))
      ++end;
    if (end < pattern.size() && pattern[end] == 'd') {
      char spec[16];
      char digits[64];
      std::snprintf(spec, sizeof spec, "%slld", pattern.substr(i, end - i).c_str());
      std::snprintf(digits, sizeof digits, spec, number);
      text += digits;
      i = end;
    } else {
      text += '%';
    }
  }
  return text;
}

}  // namespace nbtraffic
