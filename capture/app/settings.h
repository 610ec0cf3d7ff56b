// The capture tool's settings (VARNET.INI and the adapter number from
// ORM.INI) and the device filters. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/capture_host.h"
#include "app/metrics_settings.h"
#include "core/capture_config.h"
#include "core/retention.h"

namespace varnet {

// The longest path of a file the tool reads or writes, as Windows allows
// (with its terminating zero).
constexpr std::size_t kPathSize = 260;
// What an hour's file name adds to the log directory: "\LOG_YYYYMMDD.HH".
constexpr std::size_t kHourFileName = 16;

// The show flags and the channel's fields are the capture core's; the
// rest is the tool's own.
struct Settings : DecodeOptions, ChannelConfig {
  std::int32_t savePackets = 0;
  std::int32_t commandReplayEnabled = 0;
  std::int32_t revertiveReplayEnabled = 0;
  char logFilePath[kPathSize] = "c:\\trelmlogs";
  // The hour files kept: read only, never written back; off when absent.
  RetentionSettings retention;
  // What start-up says of it in the capture log: the rule (empty when it
  // is off), and a value that was not used (empty when none).
  char retentionNote[120] = "";
  char retentionFault[160] = "";
  // Full paths, held for the whole run.
  char varnetIni[kPathSize] = "";
  char ormIni[kPathSize] = "";
  // [Metrics], read only.
  MetricsSettings metrics;
};

// The largest retention values taken: a century of days, and an exabyte.
constexpr std::uint64_t kMostKeepDays = 36500;
constexpr std::uint64_t kMostMinFreeMB = 1000ULL * 1000 * 1000 * 1000;

// The show flags, their menu items, keys and status lines.
enum class ShowFlag { URheader, NxMessages, PacketSerial, Heartbeats };
struct ShowFlagInfo {
  ShowFlag flag;
  unsigned menuId;
  const char* key;
  const char* onLine;
  const char* offLine;
};
// In start-up order: UR headers, N messages, serial numbers, heartbeats.
extern const ShowFlagInfo kShowFlags[4];
std::int32_t& FlagValue(Settings& settings, ShowFlag flag);
const ShowFlagInfo* FindShowFlag(unsigned menuId);

// Reads and repairs every setting in the file's order, creating the log
// directory; does not write the log lines (the caller does). Returns false,
// with the message to show in fault, when a path would be cut: the tool
// then reads and writes nothing rather than other files.
bool ReadSettings(ProfileAccess& profiles, InstallationLookup& lookup, CaptureFiles& files,
                  Settings& settings, DeviceFilters& filters, char* fault, std::size_t faultSize);

// "%s\VARNET.INI" with the configuration directory looked up again; false
// when it would not fit in size.
bool VarnetIniPath(InstallationLookup& lookup, char* out, std::size_t size);

// The dialog's Load and Save: 1..999 of both tables from / to VARNET.INI.
// Load writes nothing back; a missing key gives 1.
void LoadFilters(ProfileReader& host, const char* file, DeviceFilters& filters);
// SaveFilters is the core's.

}  // namespace varnet
