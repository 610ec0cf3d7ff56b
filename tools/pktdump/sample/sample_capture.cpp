#include "sample_capture.h"

#include <cstring>
#include <vector>

#include "core/packet_record.h"
#include "traffic_mix.h"
#include "wall_time.h"

namespace pktdump {

namespace {

// 2026-12-09 10:00:00 UTC as a FILETIME, and 20 ms.
constexpr std::uint64_t kStart = trelm::kFiletimeUnixEpoch + 1796810400ull * trelm::kFiletimeTicksPerSecond;
constexpr std::uint64_t kTick = 200000;

void Add(std::string& file, trelm_traffic::Mix& mix, long n, std::uint64_t filetime,
         std::uint32_t sequence, int run) {
  std::vector<std::uint8_t> bytes;
  const bool command = mix.Next(n, bytes);
  std::uint8_t buffer[varnet::kDatagramSize + 1] = {};
  std::memcpy(buffer, bytes.data(), std::min(bytes.size(), varnet::kDatagramSize));
  std::uint8_t record[varnet::kRecordSize];
  const varnet::Arrival arrival{filetime, sequence, run};
  varnet::BuildRecord(command ? varnet::kRecordCommand : varnet::kRecordRevertive, buffer,
                      static_cast<std::uint16_t>(bytes.size()), record, &arrival);
  file.append(reinterpret_cast<const char*>(record), sizeof record);
}

}  // namespace

std::string SampleCapture() {
  std::string file;
  trelm_traffic::Mix mix(trelm_traffic::Kind::Mix);
  long n = 0;
  const int first = varnet::NextRunTag(varnet::Arrival::kNoRunTag);
  for (std::uint32_t sequence = 1; sequence <= 120; ++sequence) {
    if (sequence >= 61 && sequence <= 63) continue;  // lost before the wrapper
    // 90 was handled before 89.
    const std::uint32_t kept = sequence == 89 ? 90 : sequence == 90 ? 89 : sequence;
    Add(file, mix, n++, kStart + kept * kTick, kept, first);
  }
  const std::uint64_t restart = kStart + 120 * kTick + 60 * 10000000ull;
  for (std::uint32_t sequence = 1; sequence <= 40; ++sequence) {
    Add(file, mix, n++, restart + sequence * kTick, sequence, varnet::NextRunTag(first));
  }
  return file;
}

}  // namespace pktdump
