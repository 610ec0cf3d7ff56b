// pktdump: Varnet's packet data files outside Varnet. Decodes records into
// the texts Varnet logs, dumps them as the Packet dialog shows them,
// summarises files and exports them to pcapng. Every mode reads its files
// record by record, so a night of large hourly files goes through in a few
// megabytes. The program as a whole: its entry and the check of a file in
// memory. Portable.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "modes.h"
#include "pktdump_types.h"

namespace pktdump {

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

}  // namespace pktdump
