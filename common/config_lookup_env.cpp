// The capture tool form's environment rule, kept apart from the profile
// calls so that it builds and is tested natively as well.
#include "config_lookup.h"

#include <cstdio>
#include <cstring>

#include "path_join.h"

namespace trelm {

namespace {
constexpr std::size_t kValueBuffer = 512;

const char* Subdirectory(InstallKey key) {
  return key == InstallKey::SystemPath ? "\\windows\\lib" : "\\config\\system";
}
}  // namespace

bool EnvironmentInstallPath(const char* mcRoot, const char* mcSystem, InstallKey key,
                            char* out, std::size_t size) {
  if (mcRoot == nullptr || mcSystem == nullptr) return false;
  if (std::strlen(mcRoot) + std::strlen(mcSystem) > kValueBuffer) return false;
  char base[kValueBuffer + 2];
  std::snprintf(base, sizeof base, "%s\\%s", mcRoot, mcSystem);
  const char* sub = Subdirectory(key);
  if (std::strlen(base) + std::strlen(sub) >= kValueBuffer) return false;
  char joined[kValueBuffer + 16];
  std::snprintf(joined, sizeof joined, "%s%s", base, sub);
  CopyCut(joined, out, size);
  return true;
}

}  // namespace trelm
