#include "path_join.h"

#include <cstdio>
#include <cstring>

namespace trelm {

void CopyCut(const char* text, char* out, std::size_t size) {
  if (size == 0) return;
  std::size_t n = std::strlen(text);
  if (n > size - 1) n = size - 1;
  std::memcpy(out, text, n);
  out[n] = '\0';
}

void JoinPath(const char* dir, const char* name, char* out, std::size_t size) {
  if (size == 0) return;
  std::snprintf(out, size, "%s\\%s", dir, name);
}

}  // namespace trelm
