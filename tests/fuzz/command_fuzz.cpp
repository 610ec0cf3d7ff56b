// libFuzzer target: the command decoder on any datagram.
#include "decoder_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return varnet_fuzz::Run(data, size,
                          [](varnet::Decoder& decoder, const auto& buffer, std::size_t) {
                            decoder.DecodeCommand(buffer);
                          });
}
