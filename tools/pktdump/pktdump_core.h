// pktdump: Varnet's packet data files outside Varnet. Decodes records into
// the texts Varnet logs, dumps them as the Packet dialog shows them,
// summarises a file and exports it to pcapng. Portable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace pktdump {

struct File {
  std::string name;  // as given
  std::vector<std::uint8_t> bytes;
};

// The first fault of a file that decode, dump and export refuse: a size
// that is not a multiple of 528, a type byte other than 1 or 2, a length
// above 512. Empty when there is none.
std::string CheckFile(const File& file);

// The program: arguments without the program name; the exit code.
int Main(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

// The modes on files in memory (used by Main, the tests and the fuzzer),
// each on files that CheckFile passed, except Summarise, which takes any.
// The show flags and filters come from the VARNET.INI text (empty: the
// defaults of a first run).
void Decode(const File& file, const std::string& ini, std::FILE* out);
void Dump(const File& file, std::int64_t first, std::int64_t last, std::FILE* out);
// Returns the count of malformed records.
long Summarise(const File& file, std::FILE* out);
// The records of the files as one pcapng section.
void WritePcapng(const std::vector<File>& files, int channel, std::FILE* out);

}  // namespace pktdump
