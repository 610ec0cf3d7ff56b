// What the capture core takes from the tool's settings: the show flags and
// device filters that gate decoding, and the channel's adapter, number and
// watchdog slot; and how they are read from a VARNET.INI. Portable: no
// <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

#include "profile_access.h"

namespace varnet {

using trelm::ProfileAccess;
using trelm::ProfileReader;

constexpr int kDevices = 1000;  // entry 0 belongs to no device

// The show flags of [Network].
struct DecodeOptions {
  std::int32_t showURheader = 1;
  std::int32_t showNxMessages = 1;
  std::int32_t showPacketSerial = 1;
  std::int32_t showHeartbeats = 0;
};

// The channel: the LANA (ORM.INI's DefaultAdaptor), the channel number,
// the watchdog's driver and slot, and whether records carry the arrival of
// their datagrams (PacketTimes).
struct ChannelConfig {
  std::int32_t defaultAdaptor = 0;
  std::int32_t channel = 0;
  std::int32_t infoDriver = 0;
  std::int32_t infoSlot = 0;
  std::int32_t packetTimes = 0;
};

// The channel a number names: 1..99, or 0 (the plain names) for any other.
std::int32_t UsableChannel(std::int32_t channel);

struct DeviceFilters {
  std::int32_t commands[kDevices];
  std::int32_t revertives[kDevices];
  DeviceFilters() { SetAll(1); }
  void SetAll(std::int32_t value);
  // The device is logged by either table.
  bool Enabled(int device) const { return commands[device] != 0 || revertives[device] != 0; }
};

// When a number read is replaced by its default.
enum class Repair { Negative, NotPositive };

// Reads a number with the sentinel "-1" into a buffer of the given size;
// when the repair condition holds, the fallback is used, and written back
// when writeBack is given.
std::int32_t ReadNumber(ProfileReader& in, const char* file, const char* section, const char* key,
                        std::size_t buffer, Repair repair, std::int32_t fallback,
                        ProfileAccess* writeBack);

// The four show flags; a negative or missing one gives its default.
void ReadShowFlags(ProfileReader& in, const char* file, DecodeOptions& options,
                   ProfileAccess* writeBack);
// [Commands] then [Revertives] "Device_%03d" for 1..999: only a value
// converting to 0 skips a device; a missing key gives 1, written back as
// "1" when writeBack is given.
void ReadFilters(ProfileReader& in, const char* file, DeviceFilters& filters,
                 ProfileAccess* writeBack);
void SaveFilters(ProfileAccess& out, const char* file, const DeviceFilters& filters);

// What decoding reads from a VARNET.INI, as the tool reads it at start-up,
// writing nothing: the show flags and the device filters.
void ReadDecodeSettings(ProfileReader& in, const char* file, DecodeOptions& options,
                        DeviceFilters& filters);

}  // namespace varnet
