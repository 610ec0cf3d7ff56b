#include "app/settings.h"

#include <cstdio>
#include <cstring>

#include "app/varnet_ids.h"
#include "path_join.h"
#include "scan_int.h"

namespace varnet {

const ShowFlagInfo kShowFlags[4] = {
    {ShowFlag::URheader, IDM_SHOW_UR, "ShowURheader", "    - Logging 'UR' headers -",
     "    - Not logging 'UR' headers -"},
    {ShowFlag::NxMessages, IDM_SHOW_NX, "ShowNxMessages",
     "    - Logging 'N' series messages -", "    - Not logging 'N' series messages -"},
    {ShowFlag::PacketSerial, IDM_SHOW_SERIAL, "ShowPacketSerial",
     "    - Logging Packet Serial Numbers -", "    - Not logging packet serial numbers -"},
    {ShowFlag::Heartbeats, IDM_SHOW_HEARTBEATS, "ShowHeartbeats", "    - Logging Heartbeats -",
     "    - Not logging Heartbeats -"},
};

std::int32_t& FlagValue(Settings& settings, ShowFlag flag) {
  switch (flag) {
    case ShowFlag::URheader: return settings.showURheader;
    case ShowFlag::NxMessages: return settings.showNxMessages;
    case ShowFlag::PacketSerial: return settings.showPacketSerial;
    case ShowFlag::Heartbeats: break;
  }
  return settings.showHeartbeats;
}

const ShowFlagInfo* FindShowFlag(unsigned menuId) {
  for (const ShowFlagInfo& info : kShowFlags) {
    if (info.menuId == menuId) return &info;
  }
  return nullptr;
}

namespace {
// Paths are read into buffers longer than any the tool uses, so that one
// that would be cut is seen and refused instead of read as another.
constexpr std::size_t kLongPath = 1024;

bool JoinWhole(const char* dir, const char* name, char* out, std::size_t size) {
  char whole[kLongPath + 32];
  trelm::JoinPath(dir, name, whole, sizeof whole);
  trelm::CopyCut(whole, out, size);
  return std::strlen(whole) < size && std::strlen(dir) < kLongPath - 1;
}

// A retention key: absent or empty gives 0 (not used); so does a value
// that is no whole number, or too large, with the note saying so.
std::uint64_t ReadRetentionKey(ProfileReader& in, const char* ini, const char* key,
                               std::uint64_t most, char* note, std::size_t noteSize) {
  char value[64];
  in.ProfileRead("Retention", key, "", value, sizeof value, ini);
  const char* text = trelm::SkipBlanks(value);
  std::size_t length = std::strlen(text);
  while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t')) --length;
  if (length == 0) return 0;
  std::uint64_t number = 0;
  bool whole = length <= 12;
  for (std::size_t i = 0; whole && i < length; ++i) {
    whole = text[i] >= '0' && text[i] <= '9';
    number = number * 10 + static_cast<std::uint64_t>(text[i] - '0');
  }
  if (whole && number <= most) return number;
  if (note[0] == '\0') {
    std::snprintf(note, noteSize,
                  "Retention: %s=%.*s in VARNET.INI is not a whole number from 0 to %llu; "
                  "not used",
                  key, static_cast<int>(length > 40 ? 40 : length), text,
                  static_cast<unsigned long long>(most));
  }
  return 0;
}

// [Retention] KeepDays and MinFreeMB, and the line that says the rule.
void ReadRetention(ProfileReader& in, const char* ini, Settings& s) {
  s.retentionNote[0] = '\0';
  s.retentionFault[0] = '\0';
  s.retention.keepDays = static_cast<int>(ReadRetentionKey(
      in, ini, "KeepDays", kMostKeepDays, s.retentionFault, sizeof s.retentionFault));
  const std::uint64_t megabytes = ReadRetentionKey(in, ini, "MinFreeMB", kMostMinFreeMB,
                                                   s.retentionFault, sizeof s.retentionFault);
  s.retention.minFreeBytes = megabytes * 1024 * 1024;
  if (!s.retention.Enabled()) return;
  char days[32] = "";
  char space[40] = "";
  if (s.retention.keepDays > 0) {
    std::snprintf(days, sizeof days, "%d days of hour files", s.retention.keepDays);
  }
  if (megabytes > 0) {
    std::snprintf(space, sizeof space, "%s%llu MB free", days[0] != '\0' ? ", at least " : "at least ",
                  static_cast<unsigned long long>(megabytes));
  }
  std::snprintf(s.retentionNote, sizeof s.retentionNote, "Retention: keeping %s%s, oldest hours deleted first",
                days, space);
}

void TooLong(const char* what, const char* path, char* fault, std::size_t size) {
  std::snprintf(fault, size, "%s is longer than %u characters: %.120s...", what,
                static_cast<unsigned>(kPathSize - 1), path);
}
}  // namespace

bool VarnetIniPath(InstallationLookup& lookup, char* out, std::size_t size) {
  char dir[kLongPath];
  lookup.LookupConfigPath(dir, sizeof dir);
  return JoinWhole(dir, "VARNET.INI", out, size);
}

bool ReadSettings(ProfileAccess& host, InstallationLookup& lookup, CaptureFiles& files,
                  Settings& s, DeviceFilters& filters, char* fault, std::size_t faultSize) {
  char dir[kLongPath];
  lookup.LookupConfigPath(dir, sizeof dir);
  if (!JoinWhole(dir, "ORM.INI", s.ormIni, sizeof s.ormIni) ||
      !VarnetIniPath(lookup, s.varnetIni, sizeof s.varnetIni)) {
    TooLong("The configuration path", dir, fault, faultSize);
    return false;
  }
  s.defaultAdaptor =
      ReadNumber(host, s.ormIni, "Network", "DefaultAdaptor", 90, Repair::NotPositive, 0, &host);

  const char* ini = s.varnetIni;
  s.channel = ReadNumber(host, ini, "Network", "Channel", 90, Repair::Negative, 0, &host);
  ReadShowFlags(host, ini, s, &host);
  s.savePackets =
      ReadNumber(host, ini, "Network", "SavePackets", 90, Repair::NotPositive, 0, &host);
  s.commandReplayEnabled =
      ReadNumber(host, ini, "Network", "CommandReplayEnabled", 90, Repair::NotPositive, 0, &host);
  s.revertiveReplayEnabled =
      ReadNumber(host, ini, "Network", "RevertiveReplayEnabled", 90, Repair::NotPositive, 0, &host);
  // Read only: the first run writes exactly the keys it always wrote.
  s.packetTimes =
      ReadNumber(host, ini, "Network", "PacketTimes", 90, Repair::Negative, 0, nullptr);
  s.infoDriver =
      ReadNumber(host, ini, "Watchdog", "InfoDriver", 90, Repair::NotPositive, 0, &host);
  s.infoSlot = ReadNumber(host, ini, "Watchdog", "InfoSlot", 90, Repair::NotPositive, 0, &host);

  // The hour's file names must fit after the directory.
  char logPath[kLongPath];
  host.ProfileRead("Paths", "LogFilePath", "NONE", logPath, sizeof logPath, ini);
  if (std::strcmp(logPath, "NONE") == 0) {
    trelm::CopyCut("c:\\trelmlogs", s.logFilePath, sizeof s.logFilePath);
    host.ProfileWrite("Paths", "LogFilePath", s.logFilePath, ini);
  } else if (std::strlen(logPath) >= kPathSize - kHourFileName) {
    std::snprintf(fault, faultSize, "LogFilePath in %.120s is longer than %u characters: %.120s...",
                  ini, static_cast<unsigned>(kPathSize - 1 - kHourFileName), logPath);
    return false;
  } else {
    trelm::CopyCut(logPath, s.logFilePath, sizeof s.logFilePath);
  }

  files.MakeDirectory(s.logFilePath);
  ReadRetention(host, ini, s);

  ReadFilters(host, ini, filters, &host);
  ReadMetricsSettings(host, ini, s.metrics);
  return true;
}

void LoadFilters(ProfileReader& host, const char* file, DeviceFilters& filters) {
  ReadFilters(host, file, filters, nullptr);
}

}  // namespace varnet
