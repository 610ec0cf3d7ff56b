// Commands, the revertive dispatch, the text-headed revertives, heartbeat,
// time set and the universal revertive. Every bound is worked out in 64
// bits and every loop runs by count, so no field from the network can make
// a read pass the datagram buffer or a loop run for ever.
#include "core/decoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "core/log_text.h"
#include "scan_int.h"

namespace varnet {

namespace {
constexpr std::int64_t kBuffer = static_cast<std::int64_t>(kDatagramSize);
constexpr const char* kBoundary = "Message exceeds packet boundary";

int BigEndian16(const std::uint8_t* p) { return p[0] << 8 | p[1]; }

bool LeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysIn(int month, int year) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && LeapYear(year) ? 29 : days[month - 1];
}
}  // namespace

void TokenScanner::Scan(const char* text, int count) {
  if (count > kSlots) count = kSlots;
  const std::size_t length = std::strlen(text);
  std::size_t pos = 3;
  int taken = 0;
  while (pos <= length && taken < count) {
    while (text[pos] == ' ') ++pos;
    const char* start = text + pos;
    std::size_t size = 0;
    if (text[pos] == '\'') {
      ++start;
      const char* close = std::strchr(start, '\'');
      size = close != nullptr ? static_cast<std::size_t>(close - start) : std::strlen(start);
      pos = close != nullptr ? static_cast<std::size_t>(close - text) + 1 : length;
    } else {
      size = std::strcspn(start, " ");
      pos += size;
    }
    Slot& slot = slots_[taken++];
    if (size > kTokenSize - 1) size = kTokenSize - 1;
    std::memcpy(slot.text, start, size);
    slot.text[size] = '\0';
    slot.value = trelm::ToInt(slot.text);
    // Text glued to a closing quote is dropped.
    while (text[pos] != ' ' && text[pos] != '\0') ++pos;
  }
  for (; taken < count; ++taken) {
    slots_[taken].text[0] = '\0';
    slots_[taken].value = 0;
  }
}

void Decoder::Load(const std::uint8_t (&buffer)[kDatagramSize + 1]) {
  std::memcpy(data_, buffer, kDatagramSize);
  data_[kDatagramSize] = 0;  // a datagram with no zero byte ends here
  facts_.devices.clear();
  facts_.heartbeat = -1;
  facts_.clockSet = false;
}

void Decoder::Write(const char* text, LineKind kind, int device) {
  LineFacts facts;
  facts.kind = kind;
  facts.device = device;
  // Decoded traffic starts with its "[nnn]" or "[---]": only the texts
  // that came as they are, and the few plain ones, need the rule's scan.
  facts.unusual = text[0] != '[' && IsUnusualText(text);
  host_.WriteLine(text, facts);
}

void Decoder::Device(int device) {
  if (std::find(facts_.devices.begin(), facts_.devices.end(), device) == facts_.devices.end()) {
    facts_.devices.push_back(device);
  }
}

bool Decoder::RevertiveEnabled(std::int64_t device) const {
  return device >= 1 && device <= 999 && filters_.revertives[device] != 0;
}

const DatagramFacts& Decoder::DecodeCommand(const std::uint8_t (&buffer)[kDatagramSize + 1]) {
  Load(buffer);
  const std::size_t length = std::strlen(Text());
  if (length < 4) return facts_;
  // Colons between quotes belong to their command: they become 0xAC while
  // the datagram is split at the colons that are left.
  std::memcpy(work_, data_, length + 1);
  bool quoted = false;
  for (std::size_t i = 0; i < length; ++i) {
    if (work_[i] == '\'') {
      quoted = !quoted;
    } else if (work_[i] == ':' && quoted) {
      work_[i] = static_cast<char>(0xAC);
    }
  }
  // A command without a readable device number keeps the previous one's;
  // the first command of a datagram has none to keep (device 0: never
  // written).
  std::int32_t device = 0;
  int n = 0;
  const char* piece = work_;
  for (;;) {
    const char* end = std::strchr(piece, ':');
    const std::size_t size = end != nullptr ? static_cast<std::size_t>(end - piece) : std::strlen(piece);
    ++n;
    // An empty piece (two colons in a row, or one at either end) keeps its
    // number but writes nothing.
    if (size > 0) {
      const int prefix = std::snprintf(line_, sizeof line_, "[%03d] ", n);
      std::memcpy(line_ + prefix, piece, size);
      line_[prefix + size] = '\0';
      for (char* c = line_ + 5; *c != '\0'; ++c) {
        if (static_cast<unsigned char>(*c) == 0xAC) *c = ':';
      }
      std::int32_t number = 0;
      if (size > 3 && trelm::ScanInt(line_ + prefix + 3, number)) device = number;
      const char* command = line_ + prefix;
      if (command[0] == 'N' && command[1] == 'N') {
        if (options_.showPacketSerial != 0) {
          tokens_.Scan(line_, 4);
          std::snprintf(text_, sizeof text_, "[%03d] Pkt Serial %s [%03d]", n, tokens_.Text(3),
                        static_cast<int>(tokens_.Value(2)));
          Write(text_, LineKind::kSerial);
        }
      } else if (command[0] == 'N' && options_.showNxMessages == 0) {
        // N series commands only while N messages are shown.
      } else if (device >= 1 && device <= 999 && filters_.commands[device] != 0) {
        Device(device);
        Write(line_, LineKind::kCommand, device);
      }
    }
    if (end == nullptr) break;
    piece = end + 1;
  }
  return facts_;
}

const DatagramFacts& Decoder::DecodeRevertive(const std::uint8_t (&buffer)[kDatagramSize + 1],
                                              std::uint32_t receiveCounter) {
  Load(buffer);
  const char first = static_cast<char>(data_[0]);
  const char second = static_cast<char>(data_[1]);
  switch (first) {
    case 'G':
      if (second == 'R') GpiRevertive();
      break;
    case 'H':
      if (second == 'B') Heartbeat();
      break;
    case 'I':
      if (second == 'R') InfoRevertive();
      break;
    case 'N':
      if (second != '\0' && std::strchr("ABCDEILORS", second) != nullptr &&
          options_.showNxMessages != 0) {
        Write(Text(), LineKind::kStatus);
      }
      break;
    case 'R':
      if (second == 'D') Write(Text(), LineKind::kStatus);
      if (second == 'R') RouterRevertive();
      break;
    case 'T':
      if (second == 'S') TimeSet();
      break;
    case 'U':
      if (second == 'R') UniversalRevertive();
      break;
    default:
      std::snprintf(line_, sizeof line_, "Unrecognised data in revertive packet %d",
                    static_cast<int>(receiveCounter));
      Write(line_, LineKind::kUnrecognised);
      Write(Text(), LineKind::kUnrecognised);
      break;
  }
  return facts_;
}

void Decoder::GpiRevertive() {
  // Only the 16-byte header is scanned.
  std::memcpy(work_, data_, 16);
  work_[16] = '\0';
  tokens_.Scan(work_, 3);
  const std::int64_t device = tokens_.Value(0);
  const std::int64_t first = tokens_.Value(1);
  const std::int64_t last = tokens_.Value(2);
  host_.ShowLine(Text());
  if (device < 1 || device > 999) {
    host_.WriteErrorLog(Text());
    return;
  }
  if (!RevertiveEnabled(device)) return;
  Device(static_cast<int>(device));
  std::snprintf(line_, sizeof line_, "[---] GPI Drv %03d, Min %d, Max %d", static_cast<int>(device),
                static_cast<int>(first), static_cast<int>(last));
  Write(line_, LineKind::kRevertive, static_cast<int>(device));
  const std::int64_t count = last - first + 1;
  if (16 + count > kBuffer) return;
  for (std::int64_t k = 1; k <= count; ++k) {
    const int state = static_cast<signed char>(data_[16 + k - 1]) - 48;
    std::snprintf(line_, sizeof line_, "[%03d] GR %d %d %d", static_cast<int>(k),
                  static_cast<int>(device), static_cast<int>(first + k - 1), state);
    Write(line_, LineKind::kRevertive, static_cast<int>(device));
  }
}

void Decoder::InfoRevertive() {
  std::memcpy(work_, data_, sizeof work_);
  work_[23] = '\0';
  tokens_.Scan(work_, 4);
  const std::int64_t device = tokens_.Value(0);
  const std::int64_t first = tokens_.Value(1);
  const std::int64_t last = tokens_.Value(2);
  const std::int64_t slot = tokens_.Value(3);
  if (device < 1 || device > 999) {
    host_.WriteErrorLog(work_);  // the header as cut at byte 23
    return;
  }
  if (!RevertiveEnabled(device)) return;
  Device(static_cast<int>(device));
  std::snprintf(line_, sizeof line_, "[---] Info Drv %03d, Min %d, Max %d, Slotsize %d",
                static_cast<int>(device), static_cast<int>(first), static_cast<int>(last),
                static_cast<int>(slot));
  Write(line_, LineKind::kRevertive, static_cast<int>(device));
  const std::int64_t count = last - first + 1;
  if (slot < 1 || slot > 255 || 24 + slot * count > kBuffer) return;
  for (std::int64_t k = 1; k <= count; ++k) {
    std::memcpy(text_, data_ + 24 + slot * (k - 1), static_cast<std::size_t>(slot));
    text_[slot] = '\0';
    std::snprintf(line_, sizeof line_, "[%03d] IR %d %d '%s'", static_cast<int>(k),
                  static_cast<int>(device), static_cast<int>(first + k - 1), text_);
    Write(line_, LineKind::kRevertive, static_cast<int>(device));
  }
}

void Decoder::RouterRevertive() {
  tokens_.Scan(Text(), 4);
  const std::int64_t device = tokens_.Value(0);
  const std::int64_t first = tokens_.Value(1);
  const std::int64_t last = tokens_.Value(2);
  if (device < 1 || device > 999) {
    host_.WriteErrorLog(Text());
    return;
  }
  if (!RevertiveEnabled(device)) return;
  Device(static_cast<int>(device));
  std::snprintf(line_, sizeof line_, "[---] Rtr Drv %d, Min %d, Max %d, iWS %d",
                static_cast<int>(device), static_cast<int>(first), static_cast<int>(last),
                static_cast<int>(tokens_.Value(3)));
  Write(line_, LineKind::kRevertive, static_cast<int>(device));
  const std::int64_t count = last - first + 1;
  if (24 + 2 * count > kBuffer) return;
  for (std::int64_t k = 1; k <= count; ++k) {
    const std::uint8_t* at = data_ + 24 + 2 * (k - 1);
    const int value = static_cast<std::int16_t>(at[0] | at[1] << 8);
    std::snprintf(line_, sizeof line_, "[%03d] RR %d %d %d", static_cast<int>(k),
                  static_cast<int>(device), static_cast<int>(first + k - 1), value);
    Write(line_, LineKind::kRevertive, static_cast<int>(device));
  }
}

void Decoder::Heartbeat() {
  const int workstation = data_[5] | data_[6] << 8;
  facts_.heartbeat = workstation;
  if (options_.showHeartbeats == 0) return;
  std::snprintf(line_, sizeof line_, "Heartbeat - workstation %d", workstation);
  Write(line_, LineKind::kHeartbeat);
}

void Decoder::TimeSet() {
  Write(Text(), LineKind::kTimeSet);
  if (std::strlen(Text()) < 3) return;
  int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0, hundredths = 0;
  if (std::sscanf(Text() + 3, "%02d %02d %04d %02d %02d %02d %03d", &day, &month, &year, &hour,
                  &minute, &second, &hundredths) != 7) {
    return;
  }
  // Only a real date and time of day set the clock.
  if (year < 1601 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysIn(month, year) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59 || hundredths < 0 || hundredths > 99) {
    return;
  }
  facts_.clockSet = true;
  facts_.year = year;
  facts_.month = month;
  facts_.day = day;
  facts_.hour = hour;
  facts_.minute = minute;
  facts_.second = second;
  facts_.milliseconds = hundredths * 10;
  host_.SetClockDate(year, month, day);
  host_.SetClockTime(hour, minute, second, hundredths * 10);
}

void Decoder::UniversalRevertive() {
  const int workstation = BigEndian16(data_ + 3);
  const int count = static_cast<signed char>(data_[5]);
  if (options_.showURheader != 0) {
    std::snprintf(line_, sizeof line_,
                  "[---] Universal Revertive from Workstation %d : Message count %d", workstation,
                  count);
    Write(line_, LineKind::kRevertive);
  }
  std::int64_t a = 6;
  for (int i = 1; i <= count; ++i) {
    if (a + 4 > kBuffer) return;  // no room for another message
    const std::uint8_t* m = data_ + a;
    const int type = m[0] >> 4;
    const int device = (m[0] & 0x0F) << 8 | m[1];
    const int reference = BigEndian16(m + 2);

    if (device == 0xFFF && reference == 0xFFFF) {
      // The packet serial message: 8 bytes whatever its type.
      if (a + 8 > kBuffer) {
        host_.WriteErrorLog(kBoundary);
        return;
      }
      if (options_.showPacketSerial != 0) {
        const unsigned serial = static_cast<unsigned>((m[4] & 0x7F) << 24 | m[5] << 16 |
                                                      m[6] << 8 | m[7]);
        std::snprintf(line_, sizeof line_, "[%03d] Pkt Serial: %08x", i, serial);
        Write(line_, LineKind::kSerial);
      }
      a += 8;
      continue;
    }

    // The message's length, as far as its bytes lie inside the buffer.
    std::int64_t size = 0;
    switch (type) {
      case 1: size = 8; break;
      case 2: size = 7; break;
      case 3:
        if (a + 7 <= kBuffer) size = 7 + m[6];
        break;
      case 4:
        if (a + 5 <= kBuffer) size = 7 + m[4];
        break;
      default:
        break;
    }
    if (type < 1 || type > 4) {
      // A message of no known type: nothing after it can be found.
      if (device > 999) return;
      Write("Illegal message in universal revertive", LineKind::kUnrecognised);
      int used = std::snprintf(text_, sizeof text_, "[%03d]", i);
      for (std::int64_t b = 0; b < 8 && a + b < kBuffer; ++b) {
        used += std::snprintf(text_ + used, sizeof text_ - used, " %02X", m[b]);
      }
      Write(text_, LineKind::kUnrecognised);
      return;
    }
    if (size == 0 || a + size > kBuffer) {
      host_.WriteErrorLog(kBoundary);
      return;
    }
    // A device above 999 is skipped by its message's length.
    if (device > 999) {
      a += size;
      continue;
    }
    const bool shown = device == 0 || RevertiveEnabled(device);
    // Device 0 passes every filter: its lines belong to no device.
    if (shown && type != 4 && device != 0) Device(device);
    const int index = static_cast<std::int16_t>(BigEndian16(m + 4));
    switch (type) {
      case 1:
        if (shown) {
          std::snprintf(line_, sizeof line_, "[%03d] RR %d %d %d [%03d]", i, device, index,
                        static_cast<std::int16_t>(BigEndian16(m + 6)), reference);
          Write(line_, LineKind::kRevertive, device);
        }
        break;
      case 2:
        if (shown) {
          std::snprintf(line_, sizeof line_, "[%03d] GR %d %d %d [%03d]", i, device, index, m[6],
                        reference);
          Write(line_, LineKind::kRevertive, device);
        }
        break;
      case 3: {
        const std::size_t n = m[6];
        std::memcpy(text_, m + 7, n);
        text_[n] = '\0';
        if (shown) {
          std::snprintf(line_, sizeof line_, "[%03d] IR %d %d '%s' [%03d]", i, device, index,
                        text_, reference);
          Write(line_, LineKind::kRevertive, device);
        }
        break;
      }
      default: {
        // Text: an "RM" text names its device at its character 3; any
        // other text is always written.
        const std::size_t n = m[4];
        const int prefix = std::snprintf(text_, sizeof text_, "[%03d] ", i);
        std::memcpy(text_ + prefix, m + 7, n);
        text_[prefix + n] = '\0';
        const char* text = text_ + prefix;
        bool write = true;
        int line = 0;  // the device the line belongs to
        if (text[0] == 'R' && text[1] == 'M') {
          std::int32_t named = 0;
          if (std::strlen(text) > 3) trelm::ScanInt(text + 3, named);
          write = RevertiveEnabled(named);
          if (write) Device(named);
          line = write ? named : 0;
        }
        if (write) Write(text_, LineKind::kRevertive, line);
        break;
      }
    }
    a += size;
  }
}

}  // namespace varnet
