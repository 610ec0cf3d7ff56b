#include "core/capture_config.h"

#include <cstdio>

#include "scan_int.h"

namespace varnet {

std::int32_t UsableChannel(std::int32_t channel) {
  return channel < 1 || channel > 99 ? 0 : channel;
}

void DeviceFilters::SetAll(std::int32_t value) {
  for (int d = 0; d < kDevices; ++d) {
    commands[d] = value;
    revertives[d] = value;
  }
}

std::int32_t ReadNumber(ProfileReader& in, const char* file, const char* section, const char* key,
                        std::size_t buffer, Repair repair, std::int32_t fallback,
                        ProfileAccess* writeBack) {
  char value[160];
  if (buffer > sizeof value) buffer = sizeof value;
  in.ProfileRead(section, key, "-1", value, buffer, file);
  std::int32_t number = trelm::ToInt(value);
  const bool repaired = repair == Repair::Negative ? number < 0 : number <= 0;
  if (!repaired) return number;
  if (writeBack == nullptr) return fallback;
  char text[16];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(fallback));
  writeBack->ProfileWrite(section, key, text, file);
  return fallback;
}

void ReadShowFlags(ProfileReader& in, const char* file, DecodeOptions& o,
                   ProfileAccess* writeBack) {
  o.showURheader =
      ReadNumber(in, file, "Network", "ShowURheader", 90, Repair::Negative, 1, writeBack);
  o.showNxMessages =
      ReadNumber(in, file, "Network", "ShowNxMessages", 129, Repair::Negative, 1, writeBack);
  o.showPacketSerial =
      ReadNumber(in, file, "Network", "ShowPacketSerial", 129, Repair::Negative, 1, writeBack);
  o.showHeartbeats =
      ReadNumber(in, file, "Network", "ShowHeartbeats", 129, Repair::Negative, 0, writeBack);
}

namespace {

void DeviceKey(int device, char* key, std::size_t size) {
  std::snprintf(key, size, "Device_%03d", device);
}

// The command table is kept in [Commands], the revertive table in [Revertives].
constexpr const char* kFilterSections[] = {"Commands", "Revertives"};

template <typename Filters>
auto Table(Filters& filters, int which) {
  return which == 0 ? filters.commands : filters.revertives;
}

}  // namespace

void ReadFilters(ProfileReader& in, const char* file, DeviceFilters& filters,
                 ProfileAccess* writeBack) {
  for (int which = 0; which < 2; ++which) {
    const char* section = kFilterSections[which];
    std::int32_t* table = Table(filters, which);
    for (int d = 1; d < kDevices; ++d) {
      char key[16];
      DeviceKey(d, key, sizeof key);
      char value[80];
      in.ProfileRead(section, key, "-1", value, sizeof value, file);
      const std::int32_t n = trelm::ToInt(value);
      if (writeBack != nullptr && n == -1) writeBack->ProfileWrite(section, key, "1", file);
      table[d] = n == 0 ? 0 : 1;
    }
  }
}

void SaveFilters(ProfileAccess& out, const char* file, const DeviceFilters& filters) {
  for (int which = 0; which < 2; ++which) {
    const char* section = kFilterSections[which];
    const std::int32_t* table = Table(filters, which);
    for (int d = 1; d < kDevices; ++d) {
      char key[16];
      DeviceKey(d, key, sizeof key);
      out.ProfileWrite(section, key, table[d] != 0 ? "1" : "0", file);
    }
  }
}

void ReadDecodeSettings(ProfileReader& in, const char* file, DecodeOptions& options,
                        DeviceFilters& filters) {
  ReadShowFlags(in, file, options, nullptr);
  ReadFilters(in, file, filters, nullptr);
}

}  // namespace varnet
