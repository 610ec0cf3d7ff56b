// libFuzzer target: any payload that reaches the wrapper's socket. A
// payload that reads as a datagram must build back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "net/nbdgm.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velknb::Datagram d;
  if (velknb::ParseDatagram(data, size, d) != velknb::ParseResult::Ok) return 0;
  if (d.length > velknb::kMaxUserData) return 0;  // longer than we send; cut on delivery
  std::uint8_t out[velknb::kMaxDatagram];
  const std::size_t built = velknb::BuildDatagram(d, out, sizeof out);
  // Only the flags may differ (a last fragment's bits are not kept).
  if (built != size || std::memcmp(out + 2, data + 2, size - 2) != 0) std::abort();
  char text[velknb::kNameSize + 1];
  velknb::NameText(d.destination, text);
  return 0;
}
