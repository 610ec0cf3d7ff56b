// Writes a packet data file of N records of the traffic tool's mix, for
// the offline decoding benchmark.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/packet_record.h"
#include "traffic_mix.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_packets RECORDS FILE\n");
    return 2;
  }
  const long count = std::atol(argv[1]);
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) return 1;
  trelm_traffic::Mix mix(trelm_traffic::Kind::Mix);
  std::vector<std::uint8_t> bytes;
  for (long n = 0; n < count; ++n) {
    const bool command = mix.Next(n, bytes);
    std::uint8_t buffer[varnet::kDatagramSize + 1] = {};
    std::memcpy(buffer, bytes.data(), bytes.size());
    std::uint8_t record[varnet::kRecordSize];
    varnet::BuildRecord(command ? varnet::kRecordCommand : varnet::kRecordRevertive, buffer,
                        static_cast<std::uint16_t>(bytes.size()), record);
    std::fwrite(record, 1, sizeof record, out);
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
