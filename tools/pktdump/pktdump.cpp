// pktdump: Varnet's packet data files (PKT_YYYYMMDD.HH) outside Varnet.
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "pktdump_core.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
#ifdef _WIN32
  // Records come in and pcapng goes out byte for byte: a console's text
  // mode would end a record at 0x1A and turn every 0x0A into 0x0D 0x0A.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  // Decoded nights run to millions of lines: a large output buffer.
  static char buffer[1 << 20];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  return pktdump::Main(args, stdout, stderr);
}
