// pktdump's modes: the row each has in the mode table (options.cpp), the
// sink or run that does its work (each in a file of its own), and the
// modes on files in memory that the tests and the fuzzer drive. Portable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "pktdump_types.h"
#include "records.h"

namespace pktdump {

// check's exit code when no record carries its arrival.
constexpr int kNothingToCheck = 3;
// check's exit code when nothing is proven lost or damaged, but the first
// run's first numbers are not in the files: an earlier file may hold them.
constexpr int kMaybeEarlier = 4;

// The command line (options.cpp): the modes' table, the options' table
// and the usage text. Done: --help or --version answered.
enum class Parsed { Run, Done, Usage, Failed };
Parsed Parse(const std::vector<std::string>& args, Options* o, std::FILE* out, std::FILE* err,
             int* code);

// A mode: its row in the table of options.cpp, which is all a new mode
// adds beside the file that does its work. It works through a sink (make),
// or runs on the open inputs (runOpen), or on the command line's paths
// itself (runPaths).
struct Mode {
  const char* name;
  const char* usage;    // its usage line, after "pktdump "
  const char* options;  // the options it takes, parted by spaces
  std::unique_ptr<Sink> (*make)(const Options& o, std::FILE* out, std::FILE* err);
  // Lists bad records itself: files are not checked whole first.
  bool listsBad;
  int (*runOpen)(std::vector<std::unique_ptr<Input>>& inputs, const Options& o, std::FILE* out,
                 std::FILE* err);
  int (*runPaths)(const Options& o, std::FILE* out, std::FILE* err, std::FILE* in);
};
const Mode* FindMode(const std::string& name);

// The modes, each in its own file: the sink that does its work.
std::unique_ptr<Sink> MakeDecodeSink(const Options& o, std::FILE* out, std::FILE* err);
std::unique_ptr<Sink> MakeDumpSink(const Options& o, std::FILE* out, std::FILE* err);
std::unique_ptr<Sink> MakeSummarySink(const Options& o, std::FILE* out, std::FILE* err);
std::unique_ptr<Sink> MakeCheckSink(const Options& o, std::FILE* out, std::FILE* err);
// pcapng reads its files twice (the gaps first, then the frames), merging
// the captures: it runs on the open inputs instead of through a sink.
// Returns 0, 1 when it met bad records (skipped), -1 when it stopped.
int RunPcapng(std::vector<std::unique_ptr<Input>>& inputs, const Options& o, std::FILE* out,
              std::FILE* err);

// parquet writes hive-partitioned Parquet tables into the folder --out
// names (parquet.cpp); it reads each capture's files in hour order itself.
int RunParquet(const Options& o, std::FILE* out, std::FILE* err, std::FILE* in);

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
