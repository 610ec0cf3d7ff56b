// libFuzzer target: the comparison of workstations' matcher on any stream
// of datagrams (4 bytes each: the capture, the time step, which of a few
// datagrams, its kind), in or a little out of arrival order. Every datagram
// added ends in exactly one match, held once by its capture; a match holds
// only captures that were given; nothing stays open after the end.
#include <cstdint>
#include <cstring>

#include "fleet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pktdump::fleet;
  std::uint64_t held = 0, added = 0, given = 0;
  Matcher matcher((size > 0 ? data[0] : 0) * 10000LL, [&](const Match& m) {
    if (m.holders == 0 || (m.holders & ~given) != 0) __builtin_trap();
    held += static_cast<std::uint64_t>(__builtin_popcountll(m.holders));
  });
  std::int64_t ticks = 0;
  for (std::size_t at = 1; at + 4 <= size; at += 4) {
    const std::size_t capture = data[at] % 5;
    // Mostly forward, now and then a little back.
    ticks += (static_cast<std::int8_t>(data[at + 1])) * 10000LL;
    Datagram d;
    d.ticks = ticks;
    d.type = (data[at + 3] & 1) != 0 ? 1 : 2;
    d.bytes = std::string(1, static_cast<char>('a' + data[at + 2] % 6));
    d.length = 1;
    d.key = KeyOf(d.type, d.length, reinterpret_cast<const std::uint8_t*>(d.bytes.data()));
    given |= 1ull << capture;
    matcher.Add(capture, d);
    ++added;
  }
  matcher.Finish();
  if (held != added || matcher.OpenNow() != 0) __builtin_trap();
  return 0;
}
