// libFuzzer target: Wine's registry text, as Mirvale's Linux platform reads
// system.reg. A damaged file must give keys and values, never a fault.
#include <cstddef>
#include <cstdint>
#include <string>

#include "wine_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  mirvale::WinePlatform::Key root;
  mirvale::ParseWineRegistry(std::string(reinterpret_cast<const char*>(data), size), root);
  return 0;
}
