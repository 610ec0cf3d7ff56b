// What every part of pktdump speaks: the version, a file in memory, the
// record filter and the parsed command line. The ground of the tool: it
// includes nothing of pktdump. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "trelm_version.h"

namespace pktdump {

constexpr const char* kVersion = TRELM_VERSION;

struct File {
  std::string name;  // as given
  std::vector<std::uint8_t> bytes;
};

// Which records a mode takes: by the devices its lines belong to (the
// decoders' device rule), by kind and by record number (from 1, in each
// file).
struct Filter {
  std::vector<int> devices;  // empty: every record
  std::string ini;           // the VARNET.INI text whose device filters the rule takes
  int kind = 0;              // 0 both, 1 commands, 2 revertives
  std::int64_t first = 1;
  std::int64_t last = INT64_MAX;
  bool ranged = false;  // a range was asked for: one past a file's end is said
};

struct Options {
  std::string mode;
  std::string iniPath;  // --ini as given
  std::string ini;  // VARNET.INI's text; empty: a first run's defaults
  std::string out;  // pcapng, report: the file to write, "-" standard output
  int channel = 0;
  std::int64_t hour = -1;  // pcapng --hour: UTC seconds; -1 none
  bool keepGoing = false;
  bool json = false;
  // report --from, --to: ms since 1970 (to is exclusive), from the texts
  // given, read as local time or, with --utc, as UTC.
  std::int64_t from = INT64_MIN, to = INT64_MAX;
  std::string fromText, toText;
  // report --last: the span (ms) that ends with the files' latest arrival;
  // 0: none.
  std::int64_t last = 0;
  // report --utc: times read and shown in UTC rather than local time.
  bool utc = false;
  // report, summary: how far apart (ms) two workstations' arrivals of one
  // datagram may be, when their captures are compared.
  std::int64_t toleranceMs = 500;
  Filter filter;
  std::vector<std::string> paths;  // "-" is standard input
  // parquet --ws: the workstation of the inputs from the path at that index
  // on (as given, before folders and patterns are expanded).
  std::vector<std::pair<std::size_t, int>> workstations;
  // For each path once expanded, the index of the argument that named it.
  std::vector<std::size_t> origins;
};

}  // namespace pktdump
