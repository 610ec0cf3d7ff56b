#include "traffic_mix.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace trelm_traffic {

namespace {
void Text(std::vector<std::uint8_t>& out, const char* text) {
  out.assign(text, text + std::strlen(text));
}
void Put16(std::vector<std::uint8_t>& out, int value, bool bigEndian) {
  const auto high = static_cast<std::uint8_t>((value >> 8) & 0xFF);
  const auto low = static_cast<std::uint8_t>(value & 0xFF);
  out.push_back(bigEndian ? high : low);
  out.push_back(bigEndian ? low : high);
}
int Device(long n) { return static_cast<int>(n * 37 % 999) + 1; }
}  // namespace

bool Mix::Next(long n, std::vector<std::uint8_t>& out) {
  bool command = false;
  switch (kind_) {
    case Kind::Commands: command = true; break;
    case Kind::Revertives: command = false; break;
    case Kind::Mix: command = n % 5 < 2; break;  // two commands in five datagrams
  }
  if (command) {
    Command(n, out);
  } else {
    Revertive(n, out);
  }
  return command;
}

void Mix::Command(long n, std::vector<std::uint8_t>& out) {
  char text[256];
  const int device = Device(n);
  switch (n % 4) {
    case 0:
      std::snprintf(text, sizeof text, "XP %d %ld %ld", device, n % 64 + 1, n % 17);
      break;
    case 1:  // two commands, the first with a quoted colon
      std::snprintf(text, sizeof text, "SN %d 3 'CAM %ld:A':XP %d 1 %ld", device, n % 9,
                    device % 999 + 1, n % 32);
      break;
    case 2:
      std::snprintf(text, sizeof text, "NN %d '%08lx'", device, static_cast<unsigned long>(n));
      break;
    default:
      std::snprintf(text, sizeof text, "GP %d %ld 1", device, n % 16 + 1);
      break;
  }
  Text(out, text);
}

void Mix::Revertive(long n, std::vector<std::uint8_t>& out) {
  char head[32];
  const int device = Device(n);
  switch (n % 6) {
    case 0: {  // GPI states, 8 of them
      std::snprintf(head, sizeof head, "GR %d 1 8", device);
      out.assign(16, ' ');
      std::memcpy(out.data(), head, std::strlen(head));
      for (int g = 0; g < 8; ++g) out.push_back(static_cast<std::uint8_t>('0' + (n >> g & 1)));
      break;
    }
    case 1: {  // four info slots of 16 bytes
      std::snprintf(head, sizeof head, "IR %d 1 4 16", device);
      out.assign(24, ' ');
      std::memcpy(out.data(), head, std::strlen(head));
      for (int s = 0; s < 4; ++s) {
        char slot[17];
        std::snprintf(slot, sizeof slot, "SOURCE %-9ld", n % 1000 + s);
        out.insert(out.end(), slot, slot + 16);
      }
      break;
    }
    case 2: {  // router tallies, eight values
      std::snprintf(head, sizeof head, "RR %d 1 8 %ld", device, n % 4);
      out.assign(24, ' ');
      std::memcpy(out.data(), head, std::strlen(head));
      for (int i = 0; i < 8; ++i) Put16(out, static_cast<int>((n + i) % 300) - 1, false);
      break;
    }
    case 3: {  // a heartbeat from a workstation
      Text(out, "HB 00");
      Put16(out, static_cast<int>(n % 40 + 1), false);
      break;
    }
    case 4: {  // a universal revertive: RR, GR, IR and a packet serial
      Text(out, "UR ");
      Put16(out, static_cast<int>(n % 40 + 1), true);
      out.push_back(4);
      out.push_back(static_cast<std::uint8_t>(0x10 | (device >> 8)));
      out.push_back(static_cast<std::uint8_t>(device & 0xFF));
      Put16(out, 1, true);
      Put16(out, static_cast<int>(n % 64), true);
      Put16(out, static_cast<int>(n % 500), true);
      out.push_back(static_cast<std::uint8_t>(0x20 | (device >> 8)));
      out.push_back(static_cast<std::uint8_t>(device & 0xFF));
      Put16(out, 2, true);
      Put16(out, static_cast<int>(n % 16), true);
      out.push_back(static_cast<std::uint8_t>(n & 1));
      const char* label = "VTR 4";
      out.push_back(static_cast<std::uint8_t>(0x30 | (device >> 8)));
      out.push_back(static_cast<std::uint8_t>(device & 0xFF));
      Put16(out, 3, true);
      Put16(out, 2, true);
      out.push_back(static_cast<std::uint8_t>(std::strlen(label)));
      out.insert(out.end(), label, label + std::strlen(label));
      out.push_back(0x1F);  // the packet serial message: device 0xFFF, reference 0xFFFF
      out.push_back(0xFF);
      Put16(out, 0xFFFF, true);
      Put16(out, static_cast<int>((n >> 16) & 0x7FFF), true);
      Put16(out, static_cast<int>(n & 0xFFFF), true);
      break;
    }
    default: {
      char text[64];
      std::snprintf(text, sizeof text, "RD %d READY %ld", device, n);
      Text(out, text);
      break;
    }
  }
}

}  // namespace trelm_traffic
