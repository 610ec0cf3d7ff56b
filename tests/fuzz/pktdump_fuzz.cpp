// libFuzzer target: any file given to pktdump, in every mode.
#include <cstdio>

#include "pktdump_core.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  pktdump::File file{"PKT_20091001.07", std::vector<std::uint8_t>(data, data + size)};
  pktdump::Summarise(file, sink);
  if (!pktdump::CheckFile(file).empty()) return 0;
  pktdump::Decode(file, "[Network]\nShowHeartbeats=1\n", sink);
  pktdump::Dump(file, 1, 3, sink);
  pktdump::WritePcapng({file}, 7, sink);
  return 0;
}
