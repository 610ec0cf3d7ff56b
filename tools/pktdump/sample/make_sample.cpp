// Writes the sample packet data file: make_pktdump_sample FILE.
#include <cstdio>

#include "sample_capture.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_pktdump_sample FILE\n");
    return 2;
  }
  const std::string bytes = pktdump::SampleCapture();
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return 1;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && written ? 0 : 1;
}
