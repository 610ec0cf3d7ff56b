// A Parquet table's columns as the writer takes them: flat, each required
// or optional, of a physical type and what its values mean (the format's
// numbers for the types). Portable.
#pragma once

#include <string>

namespace pktdump::parquet {

enum class Type { kInt32 = 1, kInt64 = 2, kByteArray = 6 };
enum class Annotation { kNone, kString, kTimestampMicros };

struct Column {
  std::string name;
  Type type = Type::kInt32;
  bool optional = false;
  Annotation annotation = Annotation::kNone;
  bool dictionary = false;  // BYTE_ARRAY only
  bool minMax = false;
};

}  // namespace pktdump::parquet
