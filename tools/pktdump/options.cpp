// pktdump's command line: the table of its modes (each row with its usage
// line and its options), the table of its options (each row with what it
// sets), the usage text made from them, and the checks of how the options
// go together. A new mode is one row here and a file that does its work.
#include <algorithm>
#include <cstdlib>

#include "command_line.h"
#include "modes.h"
#include "output.h"
#include "records.h"
#include "report.h"

namespace pktdump {

namespace {

// Every mode pktdump has, in the order of the usage text.
const Mode kModes[] = {
    {"decode", "decode [--ini VARNET.INI] [--format text|json] [FILTERS] [--keep-going] FILE...",
     "--ini --format --device --kind --records --keep-going", MakeDecodeSink, false, nullptr,
     nullptr},
    {"dump", "dump [--keep-going] FILE [RANGE | FIRST LAST]", "--records --keep-going",
     MakeDumpSink, false, nullptr, nullptr},
    {"summary", "summary [--format text|json] [--tolerance MS] FILE...", "--format --tolerance",
     MakeSummarySink, true, nullptr, nullptr},
    {"check", "check FILE...     (or --check)", "", MakeCheckSink, true, nullptr, nullptr},
    {"pcapng",
     "pcapng [--channel N] [--hour YYYYMMDD.HH] --out OUT.pcapng [FILTERS] [--keep-going] FILE...",
     "--out --channel --hour --device --kind --records --keep-going", nullptr, false, RunPcapng,
     nullptr},
    {"report",
     "report [--ini VARNET.INI] [--from TIME] [--to TIME | --last SPAN] [--utc] [--device N] "
     "[--tolerance MS] [--keep-going] --out REPORT.html FILE...",
     "--ini --out --from --to --last --utc --device --tolerance --keep-going", nullptr, false, nullptr,
     report::RunReport},
    {"parquet", "parquet [--ini VARNET.INI] [--ws N] FILE... [--ws N FILE...] --out DIR",
     "--ini --ws --out", nullptr, true, nullptr, RunParquet},
};

// What the usage says after the modes' lines.
const char kUsageRest[] =
    "       pktdump --help | --version\n"
    "FILTERS: --device N (again for more), --kind command|revertive, --records RANGE\n"
    "RANGE: N (that record), FIRST-LAST, or FIRST- (to the end); records count from 1 in each "
    "file.\n"
    "FILE: a packet data file; a folder, read as its PKT_YYYYMMDD.HH files in name order;\n"
    "  a pattern such as PKT_2026* (expanded by pktdump itself on Windows); \"-\" reads standard\n"
    "  input. A file named twice (by any name) is read once. --out - writes standard output;\n"
    "  -- ends the options.\n"
    "TIME: local time, YYYY-MM-DD HH:MM[:SS[.FFF]], or ISO 8601 as the report writes its times,\n"
    "  in UTC or with an offset: 2026-12-09T07:02:00Z, 2026-12-09T07:02:00.250+01:00.\n"
    "  report --utc reads TIME and shows the page's times in UTC.\n"
    "SPAN: report --last: the span before the files' latest arrival, as 1h, 30m, 90s, 2d, 1h30m.\n"
    "report --device N (again for more): the devices drawn, whatever their traffic.\n"
    "--hour: the hour (UTC) that stamps untimed records of files whose name gives none.\n"
    "--ws: the workstation of the inputs after it (parquet); else a folder's name that ends\n"
    "  in digits gives it (ws12/), else 0.\n"
    "--tolerance: with folders of several workstations, how far apart (ms, default 500) their\n"
    "  arrivals of one datagram may be.\n"
    "Exit code: 0 done, 1 a file could not be read or written or held bad records, 2 usage;\n"
    "check: 1 when a run's sequence has gaps or repeats, 3 when no record carries its arrival.\n";

std::string UsageText() {
  std::vector<const char*> lines;
  for (const Mode& mode : kModes) lines.push_back(mode.usage);
  return trelm::UsageLines("pktdump", lines) + kUsageRest;
}

const trelm::CommandLine kCommandLine = {"pktdump", "; see pktdump --help", nullptr, true};

// A record range: N, FIRST-LAST or FIRST-.
bool ParseRange(const std::string& text, Filter* filter) {
  const std::size_t dash = text.find('-', 1);
  long long first = 0, last = INT64_MAX;
  if (!trelm::WholeNumber(text.substr(0, dash), INT64_MIN, INT64_MAX, &first)) return false;
  if (dash == std::string::npos) {
    last = first;
  } else if (dash + 1 < text.size() &&
             !trelm::WholeNumber(text.substr(dash + 1), INT64_MIN, INT64_MAX, &last)) {
    return false;
  }
  filter->first = first;
  filter->last = last;
  filter->ranged = true;
  return true;
}

// A time of --from or --to: local time, or with --utc UTC, unless the text
// gives its zone.
bool ReadTime(const char* option, const std::string& v, bool utc, std::int64_t* ms,
              std::string* why) {
  if (utc && report::ParseLocalTime(v + "Z", ms)) return true;
  if (report::ParseLocalTime(v, ms, why)) return true;
  *why = !why->empty() ? option + (" " + *why)
                       : option + std::string(" is a ") + (utc ? "UTC" : "local") +
                             " time, YYYY-MM-DD HH:MM[:SS], not '" + v + "'";
  return false;
}

// A span: whole numbers each followed by d, h, m or s, largest first
// (1h30m), more than none and at most a century.
bool ParseSpan(const std::string& text, std::int64_t* ms) {
  static const struct {
    char unit;
    std::int64_t ms;
  } kUnits[] = {{'d', 86400000}, {'h', 3600000}, {'m', 60000}, {'s', 1000}};
  std::int64_t total = 0;
  std::size_t at = 0, unit = 0;
  while (at < text.size()) {
    std::size_t end = at;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    if (end == at || end == text.size() || end - at > 6) return false;
    while (unit < 4 && kUnits[unit].unit != text[end]) ++unit;
    if (unit == 4) return false;
    total += std::stoll(text.substr(at, end - at)) * kUnits[unit].ms;
    ++unit;
    at = end + 1;
  }
  if (total <= 0 || total > 36500LL * 86400000) return false;
  *ms = total;
  return true;
}

// Every option pktdump has; the modes' rows say which each takes.
const trelm::Option<Options> kOptions[] = {
    {"--ini", "a value", true,
     [](Options& o, const std::string& v, std::string*) {
       o.iniPath = v;
       return true;
     }},
    {"--format", "a value", true,
     [](Options& o, const std::string& v, std::string* why) {
       if (v != "text" && v != "json") *why = "--format is text or json, not '" + v + "'";
       o.json = v == "json";
       return why->empty();
     }},
    {"--out", "a value", true,
     [](Options& o, const std::string& v, std::string*) {
       o.out = v;
       return true;
     }},
    {"--channel", "a value", true,
     [](Options& o, const std::string& v, std::string* why) {
       return trelm::TakeWholeNumber(v, 0, 99, &o.channel, "--channel is a channel number, 0 to 99",
                                     why);
     }},
    {"--hour", "a value", true,
     [](Options& o, const std::string& v, std::string* why) {
       if (v.size() != 11 || !HourOf("PKT_" + v, &o.hour)) {
         *why = "--hour is an hour as YYYYMMDD.HH, not '" + v + "'";
       }
       return why->empty();
     }},
    {"--device", "a value", true,
     [](Options& o, const std::string& v, std::string* why) {
       int device = 0;
       if (!trelm::TakeWholeNumber(v, 0, 4095, &device, "--device is a device number, 0 to 4095",
                                   why))
         return false;
       o.filter.devices.push_back(device);
       return true;
     }},
    {"--kind", "a value", true,
     [](Options& o, const std::string& v, std::string* why) {
       if (v != "command" && v != "revertive")
         *why = "--kind is command or revertive, not '" + v + "'";
       o.filter.kind = v == "command" ? 1 : 2;
       return why->empty();
     }},
    {"--records", "a value", true,
     [](Options& o, const std::string& v, std::string* why) {
       if (!ParseRange(v, &o.filter))
         *why = "--records is N, FIRST-LAST or FIRST-, not '" + v + "'";
       return why->empty();
     }},
    // Read once every option is known: --utc decides how.
    {"--from", "a value", true,
     [](Options& o, const std::string& v, std::string*) {
       o.fromText = v;
       return true;
     }},
    {"--to", "a value", true,
     [](Options& o, const std::string& v, std::string*) {
       o.toText = v;
       return true;
     }},
    {"--last", "a value", true,
     [](Options& o, const std::string& v, std::string* why) {
       if (ParseSpan(v, &o.last)) return true;
       *why = "--last is a span such as 1h, 30m, 90s, 2d or 1h30m, not '" + v + "'";
       return false;
     }},
    {"--utc", nullptr, true,
     [](Options& o, const std::string&, std::string*) {
       return o.utc = true;
     }},
    {"--ws", "a value", true,
     [](Options& o, const std::string& v, std::string* why) {
       // For the paths after it: as many as the command line has so far
       // are before it.
       int ws = 0;
       if (!trelm::TakeWholeNumber(v, 0, 65535, &ws, "--ws is a workstation number, 0 to 65535", why))
         return false;
       o.workstations.emplace_back(o.paths.size(), ws);
       return true;
     }},
    {"--tolerance", "a value", true,
     [](Options& o, const std::string& v, std::string* why) {
       return trelm::TakeWholeNumber(v, 0, 60000, &o.toleranceMs,
                                     "--tolerance is milliseconds, 0 to 60000", why);
     }},
    {"--keep-going", nullptr, true,
     [](Options& o, const std::string&, std::string*) {
       return o.keepGoing = true;
     }},
};

// dump FILE [RANGE | FIRST LAST]: the range as --records gives it.
bool DumpWords(Options* o, std::string* why) {
  if (o->paths.empty() || o->paths.size() > 3) {
    *why = "dump takes one file and a range";
  } else if (o->paths.size() == 2 && !ParseRange(o->paths[1], &o->filter)) {
    *why = "the range is N, FIRST-LAST or FIRST-, not '" + o->paths[1] + "'";
  } else if (o->paths.size() == 3) {
    long long first = 0, last = 0;
    if (!trelm::WholeNumber(o->paths[1], INT64_MIN, INT64_MAX, &first)) {
      *why = "FIRST is a record number, not '" + o->paths[1] + "'";
    } else if (!trelm::WholeNumber(o->paths[2], INT64_MIN, INT64_MAX, &last)) {
      *why = "LAST is a record number, not '" + o->paths[2] + "'";
    } else {
      o->filter.first = first;
      o->filter.last = last;
      o->filter.ranged = true;
    }
  }
  o->paths.resize(1);
  return why->empty();
}

// How the options and the files go together; "" when they do.
std::string Together(const Options& o) {
  const Filter& f = o.filter;
  if (f.ranged && (f.first < 1 || f.last < f.first)) {
    return "the record range " + std::to_string(f.first) + "-" +
           (f.last == INT64_MAX ? std::string() : std::to_string(f.last)) +
           " is reversed or starts below 1";
  }
  if (o.paths.empty()) return "no file given";
  if (std::count(o.paths.begin(), o.paths.end(), "-") > 1) return "standard input can be read once";
  if (o.mode == "pcapng" && o.out.empty()) return "pcapng needs --out";
  if (o.mode == "parquet" && (o.out.empty() || o.out == "-"))
    return "parquet needs --out DIR, the folder the tables go in";
  if (o.mode == "report" && o.out.empty())
    return "report needs --out (a file, or - for standard output)";
  if (o.last != 0 && (!o.fromText.empty() || !o.toText.empty())) {
    return "--last is the span before the latest arrival: it takes no --from or --to";
  }
  if (o.last != 0 && std::count(o.paths.begin(), o.paths.end(), "-") != 0) {
    return "--last reads the files' ends first: it cannot take standard input";
  }
  if (o.from >= o.to) return "--from is not before --to";
  return std::string();
}

// The times given, read as --utc says.
bool ReadTimes(Options* o, std::string* why) {
  if (!o->fromText.empty() && !ReadTime("--from", o->fromText, o->utc, &o->from, why)) return false;
  return o->toText.empty() || ReadTime("--to", o->toText, o->utc, &o->to, why);
}

}  // namespace

const Mode* FindMode(const std::string& name) {
  for (const Mode& mode : kModes) {
    if (name == mode.name) return &mode;
  }
  return nullptr;
}

Parsed Parse(const std::vector<std::string>& args, Options* o, std::FILE* out, std::FILE* err,
             int* code) {
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "--version")) {
    if (args[0] == "--version") {
      std::fprintf(out, "pktdump %s (Trelm workstation toolset)\n", kVersion);
    } else {
      std::fputs(UsageText().c_str(), out);
    }
    *code = Finished(out, err, "the output") ? 0 : 1;
    return Parsed::Done;
  }
  *code = 2;
  std::string why;
  const Mode* mode = nullptr;
  if (args.empty()) {
    why = "no mode given";
  } else {
    o->mode = args[0] == "--check" ? "check" : args[0];
    mode = FindMode(o->mode);
    if (mode == nullptr) why = "unknown mode '" + o->mode + "'";
  }
  if (why.empty() && trelm::ReadOptions(kCommandLine, kOptions, mode->name, mode->options, args, 1,
                                        *o, &o->paths, &why)) {
    if ((o->mode != "dump" || DumpWords(o, &why)) && ReadTimes(o, &why)) why = Together(*o);
  }
  if (!why.empty()) {
    trelm::UsageError(kCommandLine, why, err);
    return Parsed::Usage;
  }
  if (!o->iniPath.empty() && !ReadText(o->iniPath, &o->ini, err)) {
    *code = 1;
    return Parsed::Failed;
  }
  if (!o->filter.devices.empty()) o->filter.ini = o->ini;
  return Parsed::Run;
}

}  // namespace pktdump
