// The command line: modes, options and their values, the usage text.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "pktdump_internal.h"
#include "report.h"

namespace pktdump {

namespace {

// A mode that joins adds its line here, and its options to the table in
// Parse.
const char kUsage[] =
    "usage: pktdump decode [--ini VARNET.INI] [--format text|json] [FILTERS] [--keep-going] FILE...\n"
    "       pktdump dump [--keep-going] FILE [RANGE | FIRST LAST]\n"
    "       pktdump summary [--format text|json] FILE...\n"
    "       pktdump check FILE...     (or --check)\n"
    "       pktdump pcapng [--channel N] [--hour YYYYMMDD.HH] --out OUT.pcapng [FILTERS] [--keep-going] FILE...\n"
    "       pktdump report [--ini VARNET.INI] [--from TIME] [--to TIME] [--keep-going] --out REPORT.html FILE...\n"
    "       pktdump --help | --version\n"
    "FILTERS: --device N (again for more), --kind command|revertive, --records RANGE\n"
    "RANGE: N (that record), FIRST-LAST, or FIRST- (to the end); records count from 1 in each file.\n"
    "FILE: a packet data file; a folder, read as its PKT_YYYYMMDD.HH files in name order;\n"
    "  a pattern such as PKT_2026* (expanded by pktdump itself on Windows); \"-\" reads standard\n"
    "  input. A file named twice (by any name) is read once. --out - writes standard output;\n"
    "  -- ends the options.\n"
    "TIME: local time, YYYY-MM-DD HH:MM[:SS[.FFF]], or ISO 8601 as the report writes its times,\n"
    "  in UTC or with an offset: 2026-12-09T07:02:00Z, 2026-12-09T07:02:00.250+01:00.\n"
    "--hour: the hour (UTC) that stamps untimed records of files whose name gives none.\n"
    "Exit code: 0 done, 1 a file could not be read or written or held bad records, 2 usage;\n"
    "check: 1 when a run's sequence has gaps or repeats, 3 when no record carries its arrival.\n";

// A usage error: one line, and where the usage is.
int Usage(std::FILE* err, const std::string& why) {
  std::fprintf(err, "pktdump: %s; see pktdump --help\n", why.c_str());
  return 2;
}

// A whole number of the text, or false.
bool WholeNumber(const std::string& text, long long* value) {
  if (text.empty() || text.find_first_not_of("0123456789-+") != std::string::npos) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtoll(text.c_str(), &end, 10);
  return *end == '\0' && errno == 0;
}

// A record range: N, FIRST-LAST or FIRST-.
bool ParseRange(const std::string& text, Filter* filter) {
  const std::size_t dash = text.find('-', 1);
  long long first = 0, last = INT64_MAX;
  if (!WholeNumber(text.substr(0, dash), &first)) return false;
  if (dash == std::string::npos) {
    last = first;
  } else if (dash + 1 < text.size() && !WholeNumber(text.substr(dash + 1), &last)) {
    return false;
  }
  filter->first = first;
  filter->last = last;
  filter->ranged = true;
  return true;
}

}  // namespace

Parsed Parse(const std::vector<std::string>& args, Options* o, std::FILE* out, std::FILE* err,
             int* code) {
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kUsage, out);
    *code = Finished(out, err, "the output") ? 0 : 1;
    return Parsed::Done;
  }
  if (!args.empty() && args[0] == "--version") {
    std::fprintf(out, "pktdump %s (Trelm workstation toolset)\n", kVersion);
    *code = Finished(out, err, "the output") ? 0 : 1;
    return Parsed::Done;
  }
  *code = 2;
  if (args.empty()) {
    Usage(err, "no mode given");
    return Parsed::Usage;
  }
  o->mode = args[0] == "--check" ? "check" : args[0];
  const std::string& m = o->mode;
  if (FindMode(m) == nullptr) {
    Usage(err, "unknown mode '" + m + "'");
    return Parsed::Usage;
  }
  std::string iniPath;
  bool options = true;
  auto refuse = [&](const std::string& why) {
    Usage(err, why);
    return Parsed::Usage;
  };
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options && a == "--") {
      options = false;
      continue;
    }
    if (!options || a == "-" || a.compare(0, 1, "-") != 0 ||
        (a.size() > 1 && std::isdigit(static_cast<unsigned char>(a[1])))) {
      o->paths.push_back(a);
      continue;
    }
    // Options: which modes take them, and whether a value follows. A mode
    // that takes an option is named in its row.
    struct Known {
      const char* name;
      const char* modes;
      bool value;
    } const known[] = {
        {"--ini", "decode report", true},    {"--format", "decode summary", true},
        {"--out", "pcapng report", true},    {"--channel", "pcapng", true},
        {"--hour", "pcapng", true},          {"--device", "decode pcapng", true},
        {"--kind", "decode pcapng", true},   {"--records", "decode dump pcapng", true},
        {"--from", "report", true},          {"--to", "report", true},
        {"--keep-going", "decode dump pcapng report", false},
    };
    const Known* k = nullptr;
    for (const Known& candidate : known) {
      if (a == candidate.name) k = &candidate;
    }
    if (k == nullptr) return refuse("unknown option " + a);
    if (std::string(" ") .append(k->modes).append(" ").find(" " + m + " ") == std::string::npos) {
      return refuse(a + " is not an option of " + m);
    }
    if (!k->value) {
      o->keepGoing = true;
      continue;
    }
    if (i + 1 >= args.size()) return refuse(a + " needs a value");
    const std::string& v = args[++i];
    long long number = 0;
    if (a == "--ini") {
      iniPath = v;
    } else if (a == "--out") {
      o->out = v;
    } else if (a == "--hour") {
      std::int64_t hour = 0;
      if (v.size() != 11 || !HourOf("PKT_" + v, &hour)) {
        return refuse("--hour is an hour as YYYYMMDD.HH, not '" + v + "'");
      }
      o->hour = hour;
    } else if (a == "--from" || a == "--to") {
      std::int64_t ms = 0;
      std::string why;
      if (!report::ParseLocalTime(v, &ms, &why)) {
        return refuse(!why.empty() ? a + " " + why
                                   : a + " is a local time, YYYY-MM-DD HH:MM[:SS], not '" + v + "'");
      }
      (a == "--from" ? o->from : o->to) = ms;
    } else if (a == "--format") {
      if (v != "text" && v != "json") return refuse("--format is text or json, not '" + v + "'");
      o->json = v == "json";
    } else if (a == "--channel") {
      if (!WholeNumber(v, &number) || number < 0 || number > 99) {
        return refuse("--channel is a channel number, 0 to 99, not '" + v + "'");
      }
      o->channel = static_cast<int>(number);
    } else if (a == "--device") {
      if (!WholeNumber(v, &number) || number < 0 || number > 4095) {
        return refuse("--device is a device number, 0 to 4095, not '" + v + "'");
      }
      o->filter.devices.push_back(static_cast<int>(number));
    } else if (a == "--kind") {
      if (v != "command" && v != "revertive") {
        return refuse("--kind is command or revertive, not '" + v + "'");
      }
      o->filter.kind = v == "command" ? 1 : 2;
    } else if (!ParseRange(v, &o->filter)) {  // --records
      return refuse("--records is N, FIRST-LAST or FIRST-, not '" + v + "'");
    }
  }
  if (m == "dump") {
    // dump FILE [RANGE | FIRST LAST]: the range as --records gives it.
    if (o->paths.empty() || o->paths.size() > 3) return refuse("dump takes one file and a range");
    if (o->paths.size() == 2 && !ParseRange(o->paths[1], &o->filter)) {
      return refuse("the range is N, FIRST-LAST or FIRST-, not '" + o->paths[1] + "'");
    }
    if (o->paths.size() == 3) {
      long long first = 0, last = 0;
      if (!WholeNumber(o->paths[1], &first)) {
        return refuse("FIRST is a record number, not '" + o->paths[1] + "'");
      }
      if (!WholeNumber(o->paths[2], &last)) {
        return refuse("LAST is a record number, not '" + o->paths[2] + "'");
      }
      o->filter.first = first;
      o->filter.last = last;
      o->filter.ranged = true;
    }
    o->paths.resize(1);
  }
  if (o->filter.ranged && (o->filter.first < 1 || o->filter.last < o->filter.first)) {
    return refuse("the record range " + std::to_string(o->filter.first) + "-" +
                  (o->filter.last == INT64_MAX ? std::string() : std::to_string(o->filter.last)) +
                  " is reversed or starts below 1");
  }
  if (o->paths.empty()) return refuse("no file given");
  if (std::count(o->paths.begin(), o->paths.end(), "-") > 1) {
    return refuse("standard input can be read once");
  }
  if (m == "pcapng" && o->out.empty()) return refuse("pcapng needs --out");
  if (m == "report" && o->out.empty()) {
    return refuse("report needs --out (a file, or - for standard output)");
  }
  if (o->from >= o->to) return refuse("--from is not before --to");
  if (!iniPath.empty() && !ReadText(iniPath, &o->ini, err)) {
    *code = 1;
    return Parsed::Failed;
  }
  if (!o->filter.devices.empty()) o->filter.ini = o->ini;
  return Parsed::Run;
}

}  // namespace pktdump
