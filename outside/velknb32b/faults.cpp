// The fault list of VELKNB_FAULTS read into velknb::Faults (faults.h).
#include "faults.h"

#include <cstdlib>
#include <cstring>

namespace velknb {

namespace {
bool ReadNumber(const char*& p, long& value) {
  char* end = nullptr;
  const long v = std::strtol(p, &end, 0);
  if (end == p || v < 0) return false;
  value = v;
  p = end;
  return true;
}
}  // namespace

int ParseFaults(const char* text, Faults& faults) {
  int unknown = 0;
  if (text == nullptr) return 0;
  const char* p = text;
  while (*p != '\0') {
    while (*p == ',' || *p == ';' || *p == ' ') ++p;
    if (*p == '\0') break;
    const char* item = p;
    while (*p != '\0' && *p != ',' && *p != ';') ++p;
    char kind[8] = {};
    const char* equals = static_cast<const char*>(std::memchr(item, '=', p - item));
    long first = 0, after = 0;
    bool ok = equals != nullptr && equals - item < static_cast<long>(sizeof kind);
    if (ok) {
      std::memcpy(kind, item, equals - item);
      const char* q = equals + 1;
      ok = ReadNumber(q, first);
      if (ok && *q == '@') {
        ++q;
        ok = ReadNumber(q, after);
      }
      ok = ok && q == p;
    }
    if (ok && std::strcmp(kind, "add") == 0) {
      faults.addFailures = first;
      faults.addAfter = after;
    } else if (ok && std::strcmp(kind, "post") == 0) {
      faults.postFailures = first;
      faults.postAfter = after;
    } else if (ok && std::strcmp(kind, "recv") == 0 && first > 0 && first < 256) {
      faults.receiveCode = static_cast<int>(first);
      faults.receiveAfter = after;
    } else if (ok && std::strcmp(kind, "dead") == 0) {
      faults.deadReopenFailures = first;
      faults.deadAfter = after;
    } else if (ok && std::strcmp(kind, "deliver") == 0) {
      faults.deliverFailures = first;
      faults.deliverAfter = after;
    } else if (ok && std::strcmp(kind, "hold") == 0) {
      faults.reopenHolds = first;
    } else {
      ++unknown;
    }
  }
  return unknown;
}

}  // namespace velknb
