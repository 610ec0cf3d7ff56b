// The wire format of our NetBIOS datagram service: one UDP datagram per
// NetBIOS datagram, whose payload is a DIRECT_GROUP datagram of the
// NetBIOS-over-TCP datagram service (an 82-byte header, then up to 512
// bytes of user data). Shared by the wrapper library, Varnet, pktdump and the traffic tool.
// Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velknb {

constexpr std::size_t kNameSize = 16;
constexpr std::size_t kEncodedNameSize = 34;
constexpr std::size_t kHeaderSize = 82;
constexpr std::size_t kMaxUserData = 512;
constexpr std::size_t kMaxDatagram = kHeaderSize + kMaxUserData;
constexpr std::uint8_t kDirectGroup = 0x11;
constexpr std::uint8_t kFirstFragmentBNode = 0x02;
// DGM_LENGTH counts the two names and the user data.
constexpr std::size_t kNamesLength = 2 * kEncodedNameSize;

// A name as it travels: the text blank-padded (or cut) to 16 bytes.
void PadName(const char* text, std::uint8_t out[kNameSize]);
// The name's text with the trailing blanks removed (17 bytes with the NUL).
void NameText(const std::uint8_t name[kNameSize], char out[kNameSize + 1]);

// First-level encoding: length 0x20, two letters 'A'+nibble per byte, 0x00.
void EncodeName(const std::uint8_t name[kNameSize], std::uint8_t out[kEncodedNameSize]);
// False when the bytes are not a first-level encoded name without scope.
bool DecodeName(const std::uint8_t in[kEncodedNameSize], std::uint8_t name[kNameSize]);

struct Datagram {
  std::uint16_t id = 0;
  std::uint8_t sourceIp[4] = {127, 0, 0, 1};
  std::uint16_t sourcePort = 0;
  std::uint8_t source[kNameSize] = {};
  std::uint8_t destination[kNameSize] = {};
  const std::uint8_t* data = nullptr;
  std::size_t length = 0;
};

// Writes the datagram into out; returns its size, or 0 when the user data
// is longer than 512 bytes or out is too small.
std::size_t BuildDatagram(const Datagram& datagram, std::uint8_t* out, std::size_t size);

enum class ParseResult {
  Ok,
  Short,          // fewer bytes than the header
  NotDirectGroup, // another message type
  Fragment,       // a part of a fragmented datagram
  BadLength,      // DGM_LENGTH disagrees with the payload's size
  BadName,        // a name that is not first-level encoded
};

// Reads a received payload. On Ok, datagram.data points into the payload.
// Never reads past size bytes.
ParseResult ParseDatagram(const std::uint8_t* payload, std::size_t size, Datagram& datagram);

const char* ParseResultText(ParseResult result);

}  // namespace velknb
