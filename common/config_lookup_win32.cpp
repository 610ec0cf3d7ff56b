// The profile side of the installation lookups (Win32).
#include <windows.h>

#include <cstring>

#include "config_lookup.h"
#include "path_join.h"

namespace trelm {

namespace {
constexpr DWORD kValueBuffer = 512;
constexpr const char* kMissing = "NONE";

const char* KeyName(InstallKey key) {
  switch (key) {
    case InstallKey::ConfigPath: return "ConfigPath";
    case InstallKey::SystemPath: return "SystemPath";
    case InstallKey::TempPath: return "TempPath";
  }
  return "ConfigPath";
}
// An environment variable, or nullptr when it is unset. A value too long
// for the buffer could not make a usable base anyway and counts as unset.
const char* Environment(const char* name, char* buffer, DWORD size) {
  SetLastError(ERROR_SUCCESS);
  DWORD n = GetEnvironmentVariableA(name, buffer, size);
  if (n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return nullptr;
  if (n >= size) return nullptr;
  buffer[n] = '\0';
  return buffer;
}
}  // namespace

void LookupInstallPath(LookupForm form, InstallKey key, char* out, std::size_t size) {
  if (size == 0) return;
  if (form == LookupForm::CaptureTool) {
    char root[1024];
    char system[1024];
    if (EnvironmentInstallPath(Environment("MC_ROOT", root, sizeof root),
                               Environment("MC_SYSTEM", system, sizeof system), key, out,
                               size)) {
      return;
    }
  }

  char value[kValueBuffer];
  GetPrivateProfileStringA(kBootstrapSection, KeyName(key), kMissing, value, kValueBuffer,
                           kBootstrapFile);
  // Only the whole value "NONE", in capitals, counts as missing.
  if (std::strcmp(value, kMissing) == 0) {
    if (key == InstallKey::TempPath && form == LookupForm::Launcher) {
      CopyCut("c:\\orm_temp", value, sizeof value);
    } else {
      // The Windows directory is asked for whole and then cut to the
      // caller's buffer like any stored value; if it cannot be had, nothing
      // is written back, so a later call tries again.
      UINT got = GetWindowsDirectoryA(value, kValueBuffer);
      if (got == 0 || got >= kValueBuffer) {
        CopyCut("", out, size);
        return;
      }
    }
    // A bootstrap file that cannot be written is left alone: the default
    // is still used, and taken again on the next call.
    WritePrivateProfileStringA(kBootstrapSection, KeyName(key), value, kBootstrapFile);
  }
  CopyCut(value, out, size);
}

}  // namespace trelm
