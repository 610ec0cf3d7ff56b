// pktdump: Varnet's packet data files (PKT_YYYYMMDD.HH) outside Varnet.
#include <cstdio>
#include <string>
#include <vector>

#include "pktdump_core.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return pktdump::Main(args, stdout, stderr);
}
