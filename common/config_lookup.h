// Finding the installation's directories through the bootstrap file
// "c:\trelm_config.ini" [Config].
//
// Two program forms live here: the launcher's (the reference form) and the
// capture tool's (which tries MC_ROOT and MC_SYSTEM first). Each call reads
// the bootstrap file again, so edits made meanwhile are seen, and a missing
// value (or one holding exactly "NONE") is written back with its default.
#pragma once

#include <cstddef>

namespace trelm {

constexpr const char* kBootstrapFile = "c:\\trelm_config.ini";
constexpr const char* kBootstrapSection = "Config";

enum class LookupForm { Launcher, CaptureTool };
enum class InstallKey { ConfigPath, SystemPath, TempPath };

// Fills out (size characters, NUL included) with the directory named by key,
// following the rules of the given program form.
void LookupInstallPath(LookupForm form, InstallKey key, char* out, std::size_t size);

namespace launcher_form {
inline void LookupConfigPath(char* out, std::size_t size) {
  LookupInstallPath(LookupForm::Launcher, InstallKey::ConfigPath, out, size);
}
inline void LookupSystemPath(char* out, std::size_t size) {
  LookupInstallPath(LookupForm::Launcher, InstallKey::SystemPath, out, size);
}
inline void LookupTempPath(char* out, std::size_t size) {
  LookupInstallPath(LookupForm::Launcher, InstallKey::TempPath, out, size);
}
}  // namespace launcher_form

namespace capture_form {
inline void LookupConfigPath(char* out, std::size_t size) {
  LookupInstallPath(LookupForm::CaptureTool, InstallKey::ConfigPath, out, size);
}
inline void LookupSystemPath(char* out, std::size_t size) {
  LookupInstallPath(LookupForm::CaptureTool, InstallKey::SystemPath, out, size);
}
inline void LookupTempPath(char* out, std::size_t size) {
  LookupInstallPath(LookupForm::CaptureTool, InstallKey::TempPath, out, size);
}
}  // namespace capture_form

// The capture tool's environment base: returns true and fills out when both
// MC_ROOT and MC_SYSTEM are set, their lengths add up to at most 512 and the
// result with the key's subdirectory stays below 512 characters. Portable;
// the values are passed in (nullptr for an unset variable).
bool EnvironmentInstallPath(const char* mcRoot, const char* mcSystem, InstallKey key,
                            char* out, std::size_t size);

}  // namespace trelm
