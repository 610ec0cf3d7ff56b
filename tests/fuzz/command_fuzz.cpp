// libFuzzer target: the command decoder on any datagram.
#include "decoder_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static varnet_fuzz::CheckingHost host;
  static varnet::Settings settings;
  static varnet::DeviceFilters filters;
  static varnet::Decoder decoder(host, settings, filters);
  static std::uint8_t buffer[varnet::kDatagramSize + 1];
  varnet_fuzz::Configure(data[0], settings, filters);
  varnet_fuzz::Fill(data + 1, size - 1, buffer);
  decoder.DecodeCommand(buffer);
  return 0;
}
