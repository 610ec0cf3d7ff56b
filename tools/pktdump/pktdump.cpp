// pktdump: Varnet's packet data files (PKT_YYYYMMDD.HH) outside Varnet.
#include <cstdio>
#include <string>
#include <vector>

#include "pktdump_core.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  // Decoded nights run to millions of lines: a large output buffer.
  static char buffer[1 << 20];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  return pktdump::Main(args, stdout, stderr);
}
