// Shared by the decoder fuzz targets: a host that checks every line and
// discards it, the show flags taken from the input's first byte, and the
// datagram from the rest.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/decoder.h"

namespace varnet_fuzz {

class CheckingHost : public varnet::DecoderHost {
 public:
  void WriteLogLine(const char* text) override { Check(text); }
  void ShowLine(const char* text) override { Check(text); }
  void WriteErrorLog(const char* text) override { Check(text); }
  void SetClockDate(int year, int month, int day) override {
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > 31) std::abort();
  }
  void SetClockTime(int hour, int minute, int second, int ms) override {
    if (hour > 23 || minute > 59 || second > 59 || ms > 999 || hour < 0 || ms < 0) std::abort();
  }

 private:
  // A line is never longer than a datagram and its framing.
  static void Check(const char* text) {
    if (std::strlen(text) > varnet::kDatagramSize + 100) std::abort();
  }
};

// The first byte: the four show flags and whether device 12 is filtered.
inline void Configure(std::uint8_t bits, varnet::DecodeOptions& s, varnet::DeviceFilters& f) {
  s.showURheader = bits & 1;
  s.showNxMessages = bits >> 1 & 1;
  s.showPacketSerial = bits >> 2 & 1;
  s.showHeartbeats = bits >> 3 & 1;
  f.commands[12] = bits >> 4 & 1;
  f.revertives[12] = bits >> 4 & 1;
}

// The rest of the input, as the channel hands it over.
inline void Fill(const std::uint8_t* data, std::size_t size,
                 std::uint8_t (&buffer)[varnet::kDatagramSize + 1]) {
  std::memset(buffer, 0, sizeof buffer);
  std::memcpy(buffer, data, size < varnet::kDatagramSize ? size : varnet::kDatagramSize);
}

// One input: decode(decoder, buffer, size) runs the decoder under test on
// the datagram, with the flags of the first byte.
template <typename Decode>
int Run(const std::uint8_t* data, std::size_t size, Decode decode) {
  if (size < 1) return 0;
  static CheckingHost host;
  static varnet::DecodeOptions settings;
  static varnet::DeviceFilters filters;
  static varnet::Decoder decoder(host, settings, filters);
  static std::uint8_t buffer[varnet::kDatagramSize + 1];
  Configure(data[0], settings, filters);
  Fill(data + 1, size - 1, buffer);
  decode(decoder, buffer, size);
  return 0;
}

}  // namespace varnet_fuzz
