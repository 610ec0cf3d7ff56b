// pktdump: Varnet's packet data files outside Varnet. Decodes records into
// the texts Varnet logs, dumps them as the Packet dialog shows them,
// summarises files and exports them to pcapng. Every mode reads its files
// record by record, so a night of large hourly files goes through in a few
// megabytes. Portable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
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
  std::string ini;  // VARNET.INI's text; empty: a first run's defaults
  std::string out;  // pcapng, report: the file to write, "-" standard output
  int channel = 0;
  std::int64_t hour = -1;  // pcapng --hour: UTC seconds; -1 none
  bool keepGoing = false;
  bool json = false;
  // report --from, --to: local time as ms since 1970; to is exclusive.
  std::int64_t from = INT64_MIN, to = INT64_MAX;
  Filter filter;
  std::vector<std::string> paths;  // "-" is standard input
};

// The first fault of a file that decode, dump and export refuse: a size
// that is not a multiple of 528, a type byte other than 1 or 2, a length
// above 512. Empty when there is none.
std::string CheckFile(const File& file);

// The program: arguments without the program name; the exit code (0 done,
// 1 a file could not be read or written or held bad records, or check
// found gaps or repeats, 2 a usage error, found before any file is read,
// 3 check found no record with its arrival). in is what "-" reads.
int Main(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
         std::FILE* in = stdin);

// The modes on files in memory (the tests and the fuzzer), each on files
// that CheckFile passed, except Summarise, which takes any. The show flags
// and filters come from the VARNET.INI text (empty: the defaults of a
// first run).
void Decode(const File& file, const std::string& ini, std::FILE* out);
void Dump(const File& file, std::int64_t first, std::int64_t last, std::FILE* out);
// Returns the count of malformed records (and a cut last record).
long Summarise(const File& file, std::FILE* out);
// The records of the files as one pcapng section.
void WritePcapng(const std::vector<File>& files, int channel, std::FILE* out);

}  // namespace pktdump
