// Decoder throughput natively on one core: the traffic tool's realistic
// mix (commands and revertives of every kind but the time set), every
// show flag on and every device enabled; lines are formatted and
// discarded.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/record_decoder.h"
#include "traffic_mix.h"

namespace {

class DiscardingHost : public varnet::NullDecoderHost {
 public:
  long lines = 0;
  std::size_t bytes = 0;
  void WriteLogLine(const char* text) override { Count(text); }
  void ShowLine(const char* text) override { Count(text); }
  void WriteErrorLog(const char* text) override { Count(text); }

 private:
  void Count(const char* text) {
    ++lines;
    bytes += std::strlen(text);
  }
};

}  // namespace

int main() {
  constexpr int kDistinct = 4096;
  constexpr long kDatagrams = 4000000;
  struct Datagram {
    bool command;
    std::uint8_t buffer[varnet::kDatagramSize + 1];
  };
  std::vector<Datagram> corpus(kDistinct);
  trelm_traffic::Mix mix(trelm_traffic::Kind::Mix);
  std::vector<std::uint8_t> bytes;
  for (int i = 0; i < kDistinct; ++i) {
    corpus[i].command = mix.Next(i, bytes);
    std::memset(corpus[i].buffer, 0, sizeof corpus[i].buffer);
    std::memcpy(corpus[i].buffer, bytes.data(), bytes.size());
  }
  DiscardingHost host;
  varnet::DecodeOptions settings;
  settings.showHeartbeats = 1;
  varnet::DeviceFilters filters;
  varnet::Decoder decoder(host, settings, filters);
  const auto start = std::chrono::steady_clock::now();
  for (long n = 0; n < kDatagrams; ++n) {
    const Datagram& d = corpus[n % kDistinct];
    if (d.command) {
      decoder.DecodeCommand(d.buffer);
    } else {
      decoder.DecodeRevertive(d.buffer, 0);
    }
  }
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("decoders natively, one core: %ld datagrams in %.2f s = %.0f datagrams/s, "
              "%.0f lines/s (%.1f lines per datagram)\n",
              kDatagrams, s, kDatagrams / s, host.lines / s,
              static_cast<double>(host.lines) / kDatagrams);
  return host.bytes > 0 ? 0 : 1;
}
