#include "net/nbdgm.h"

#include <cstring>

namespace velknb {

void PadName(const char* text, std::uint8_t out[kNameSize]) {
  std::size_t i = 0;
  for (; i < kNameSize && text[i] != '\0'; ++i) out[i] = static_cast<std::uint8_t>(text[i]);
  for (; i < kNameSize; ++i) out[i] = ' ';
}

void NameText(const std::uint8_t name[kNameSize], char out[kNameSize + 1]) {
  std::size_t end = kNameSize;
  while (end > 0 && (name[end - 1] == ' ' || name[end - 1] == '\0')) --end;
  for (std::size_t i = 0; i < end; ++i) {
    const std::uint8_t c = name[i];
    out[i] = c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
  }
  out[end] = '\0';
}

void EncodeName(const std::uint8_t name[kNameSize], std::uint8_t out[kEncodedNameSize]) {
  out[0] = 0x20;
  for (std::size_t i = 0; i < kNameSize; ++i) {
    out[1 + 2 * i] = static_cast<std::uint8_t>('A' + (name[i] >> 4));
    out[2 + 2 * i] = static_cast<std::uint8_t>('A' + (name[i] & 0x0F));
  }
  out[kEncodedNameSize - 1] = 0x00;
}

bool DecodeName(const std::uint8_t in[kEncodedNameSize], std::uint8_t name[kNameSize]) {
  if (in[0] != 0x20 || in[kEncodedNameSize - 1] != 0x00) return false;
  for (std::size_t i = 0; i < kNameSize; ++i) {
    const std::uint8_t high = in[1 + 2 * i];
    const std::uint8_t low = in[2 + 2 * i];
    if (high < 'A' || high > 'P' || low < 'A' || low > 'P') return false;
    name[i] = static_cast<std::uint8_t>(((high - 'A') << 4) | (low - 'A'));
  }
  return true;
}

namespace {
void Put16(std::uint8_t* at, std::size_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 8);
  at[1] = static_cast<std::uint8_t>(value);
}
std::size_t Get16(const std::uint8_t* at) { return static_cast<std::size_t>(at[0] << 8 | at[1]); }
}  // namespace

std::size_t BuildDatagram(const Datagram& d, std::uint8_t* out, std::size_t size) {
  if (d.length > kMaxUserData || size < kHeaderSize + d.length) return 0;
  out[0] = kDirectGroup;
  out[1] = kFirstFragmentBNode;
  Put16(out + 2, d.id);
  std::memcpy(out + 4, d.sourceIp, 4);
  Put16(out + 8, d.sourcePort);
  Put16(out + 10, kNamesLength + d.length);
  Put16(out + 12, 0);
  EncodeName(d.source, out + 14);
  EncodeName(d.destination, out + 14 + kEncodedNameSize);
  if (d.length > 0) std::memcpy(out + kHeaderSize, d.data, d.length);
  return kHeaderSize + d.length;
}

ParseResult ParseDatagram(const std::uint8_t* p, std::size_t size, Datagram& d) {
  if (size < kHeaderSize) return ParseResult::Short;
  if (p[0] != kDirectGroup) return ParseResult::NotDirectGroup;
  // MORE (0x01) set, or a non-zero offset: a fragment we do not reassemble.
  if ((p[1] & 0x01) != 0 || Get16(p + 12) != 0) return ParseResult::Fragment;
  if (Get16(p + 10) + 14 != size) return ParseResult::BadLength;
  if (!DecodeName(p + 14, d.source) || !DecodeName(p + 14 + kEncodedNameSize, d.destination)) {
    return ParseResult::BadName;
  }
  d.id = static_cast<std::uint16_t>(Get16(p + 2));
  std::memcpy(d.sourceIp, p + 4, 4);
  d.sourcePort = static_cast<std::uint16_t>(Get16(p + 8));
  d.data = p + kHeaderSize;
  d.length = size - kHeaderSize;
  return ParseResult::Ok;
}

const char* ParseResultText(ParseResult result) {
  switch (result) {
    case ParseResult::Ok: return "ok";
    case ParseResult::Short: return "shorter than the datagram header";
    case ParseResult::NotDirectGroup: return "not a direct group datagram";
    case ParseResult::Fragment: return "a fragment";
    case ParseResult::BadLength: return "length field disagrees with the size";
    case ParseResult::BadName: return "a name that is not first-level encoded";
  }
  return "?";
}

}  // namespace velknb
