#include "settings.h"

#include <cstdio>
#include <cstring>

#include "path_join.h"
#include "scan_int.h"

namespace varnet {

const ShowFlagInfo kShowFlags[4] = {
    {ShowFlag::URheader, 1014, "ShowURheader", "    - Logging 'UR' headers -",
     "    - Not logging 'UR' headers -"},
    {ShowFlag::NxMessages, 1012, "ShowNxMessages", "    - Logging 'N' series messages -",
     "    - Not logging 'N' series messages -"},
    {ShowFlag::PacketSerial, 1013, "ShowPacketSerial", "    - Logging Packet Serial Numbers -",
     "    - Not logging packet serial numbers -"},
    {ShowFlag::Heartbeats, 1015, "ShowHeartbeats", "    - Logging Heartbeats -",
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

void DeviceFilters::SetAll(std::int32_t value) {
  for (int d = 0; d < kDevices; ++d) {
    commands[d] = value;
    revertives[d] = value;
  }
}

namespace {

enum class Repair { Negative, NotPositive };

// Reads a number with the sentinel "-1"; when the repair condition holds,
// the default is written back and used.
std::int32_t ReadNumber(ProfileAccess& host, const char* file, const char* section,
                        const char* key, std::size_t buffer, Repair repair,
                        std::int32_t fallback, bool writeBack = true) {
  char value[160];
  if (buffer > sizeof value) buffer = sizeof value;
  host.ProfileRead(section, key, "-1", value, buffer, file);
  std::int32_t number = trelm::ToInt(value);
  const bool repaired = repair == Repair::Negative ? number < 0 : number <= 0;
  if (!repaired) return number;
  if (!writeBack) return fallback;
  char text[16];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(fallback));
  host.ProfileWrite(section, key, text, file);
  return fallback;
}

// The four show flags of [Network]; a negative or missing one gives its
// default, written back when asked.
void ReadShowFlags(ProfileAccess& host, const char* file, Settings& s, bool writeBack) {
  s.showURheader =
      ReadNumber(host, file, "Network", "ShowURheader", 90, Repair::Negative, 1, writeBack);
  s.showNxMessages =
      ReadNumber(host, file, "Network", "ShowNxMessages", 129, Repair::Negative, 1, writeBack);
  s.showPacketSerial =
      ReadNumber(host, file, "Network", "ShowPacketSerial", 129, Repair::Negative, 1, writeBack);
  s.showHeartbeats =
      ReadNumber(host, file, "Network", "ShowHeartbeats", 129, Repair::Negative, 0, writeBack);
}

void DeviceKey(int device, char* key, std::size_t size) {
  std::snprintf(key, size, "Device_%03d", device);
}

// The command table is kept in [Commands], the revertive table in [Revertives].
constexpr const char* kFilterSections[] = {"Commands", "Revertives"};

template <typename Filters>
auto Table(Filters& filters, int which) {
  return which == 0 ? filters.commands : filters.revertives;
}

// Reads [Commands] then [Revertives] "Device_%03d" for 1..999: only a value
// converting to 0 skips a device; a missing key gives 1, and with repair it
// is written back as "1".
void ReadFilters(ProfileAccess& host, const char* file, DeviceFilters& filters, bool repair) {
  for (int which = 0; which < 2; ++which) {
    const char* section = kFilterSections[which];
    std::int32_t* table = Table(filters, which);
    for (int d = 1; d < kDevices; ++d) {
      char key[16];
      DeviceKey(d, key, sizeof key);
      char value[80];
      host.ProfileRead(section, key, "-1", value, sizeof value, file);
      const std::int32_t n = trelm::ToInt(value);
      if (repair && n == -1) host.ProfileWrite(section, key, "1", file);
      table[d] = n == 0 ? 0 : 1;
    }
  }
}

}  // namespace

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

void TooLong(const char* what, const char* path, char* fault, std::size_t size) {
  std::snprintf(fault, size, "%s is longer than %u characters: %.120s...", what,
                static_cast<unsigned>(kPathSize - 1), path);
}
}  // namespace

bool VarnetIniPath(CaptureHost& host, char* out, std::size_t size) {
  char dir[kLongPath];
  host.LookupConfigPath(dir, sizeof dir);
  return JoinWhole(dir, "VARNET.INI", out, size);
}

bool ReadSettings(CaptureHost& host, Settings& s, DeviceFilters& filters, char* fault,
                  std::size_t faultSize) {
  char dir[kLongPath];
  host.LookupConfigPath(dir, sizeof dir);
  if (!JoinWhole(dir, "ORM.INI", s.ormIni, sizeof s.ormIni) ||
      !VarnetIniPath(host, s.varnetIni, sizeof s.varnetIni)) {
    TooLong("The configuration path", dir, fault, faultSize);
    return false;
  }
  s.defaultAdaptor =
      ReadNumber(host, s.ormIni, "Network", "DefaultAdaptor", 90, Repair::NotPositive, 0);

  const char* ini = s.varnetIni;
  s.channel = ReadNumber(host, ini, "Network", "Channel", 90, Repair::Negative, 0);
  ReadShowFlags(host, ini, s, true);
  s.savePackets = ReadNumber(host, ini, "Network", "SavePackets", 90, Repair::NotPositive, 0);
  s.commandReplayEnabled =
      ReadNumber(host, ini, "Network", "CommandReplayEnabled", 90, Repair::NotPositive, 0);
  s.revertiveReplayEnabled =
      ReadNumber(host, ini, "Network", "RevertiveReplayEnabled", 90, Repair::NotPositive, 0);
  s.infoDriver = ReadNumber(host, ini, "Watchdog", "InfoDriver", 90, Repair::NotPositive, 0);
  s.infoSlot = ReadNumber(host, ini, "Watchdog", "InfoSlot", 90, Repair::NotPositive, 0);

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

  host.MakeDirectory(s.logFilePath);

  ReadFilters(host, ini, filters, true);
  return true;
}

void LoadFilters(ProfileAccess& host, const char* file, DeviceFilters& filters) {
  ReadFilters(host, file, filters, false);
}

void ReadDecodeSettings(ProfileAccess& host, const char* file, Settings& s,
                        DeviceFilters& filters) {
  ReadShowFlags(host, file, s, false);
  ReadFilters(host, file, filters, false);
}

void SaveFilters(ProfileAccess& host, const char* file, const DeviceFilters& filters) {
  for (int which = 0; which < 2; ++which) {
    const char* section = kFilterSections[which];
    const std::int32_t* table = Table(filters, which);
    for (int d = 1; d < kDevices; ++d) {
      char key[16];
      DeviceKey(d, key, sizeof key);
      host.ProfileWrite(section, key, table[d] != 0 ? "1" : "0", file);
    }
  }
}

}  // namespace varnet
