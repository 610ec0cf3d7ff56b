#include "app/settings.h"

#include <cstdio>
#include <cstring>

#include "app/varnet_ids.h"
#include "path_join.h"

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

  ReadFilters(host, ini, filters, &host);
  return true;
}

void LoadFilters(ProfileReader& host, const char* file, DeviceFilters& filters) {
  ReadFilters(host, file, filters, nullptr);
}

}  // namespace varnet
