// A LANA's names (names.h).
#include "names.h"

#include <cstring>

namespace velknb::dll {

Name* FindName(Lana& lana, const UCHAR* field) {
  for (Name& name : lana.names) {
    if (name.used && std::memcmp(name.field, field, velknb::kNameSize) == 0) return &name;
  }
  return nullptr;
}

bool IsFormer(const Lana& lana, const UCHAR* field) {
  for (const auto& name : lana.former) {
    if (std::memcmp(name.data(), field, velknb::kNameSize) == 0) return true;
  }
  return false;
}

void ForgetFormer(Lana& lana, const UCHAR* field) {
  for (auto it = lana.former.begin(); it != lana.former.end(); ++it) {
    if (std::memcmp(it->data(), field, velknb::kNameSize) == 0) {
      lana.former.erase(it);
      return;
    }
  }
}

Name* FindNumber(Lana& lana, UCHAR number) {
  if (number == 0 || number > kNames) return nullptr;
  Name& name = lana.names[number - 1];
  return name.used ? &name : nullptr;
}

}  // namespace velknb::dll
