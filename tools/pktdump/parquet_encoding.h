// The byte encodings of the Parquet files pktdump writes: little-endian
// numbers, unsigned varints, the RLE/bit-packed hybrid that carries
// definition levels and dictionary indices, and Thrift's compact protocol,
// in which a file's footer and its page headers are written (only the
// field types those need). Portable; no Parquet library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pktdump::parquet {

void PutLe32(std::string* out, std::uint32_t v);
void PutLe64(std::string* out, std::uint64_t v);
void PutVarint(std::string* out, std::uint64_t v);

// The bits that the values 0..max need (0 for max 0).
int BitWidth(std::uint32_t max);

// The values (each below 2^width, width 0..32) as the RLE/bit-packed
// hybrid: a run of eight or more equal values as one RLE run, the rest in
// bit-packed groups of eight (the last group padded with zeros), at most
// 63 groups to a run header. No length prefix: a page's levels put one
// before them.
void PutHybrid(std::string* out, const std::vector<std::uint32_t>& values, int width);

// Thrift's compact protocol, writing one struct with nested structs and
// lists. Field ids go up within a struct; each struct ends with End().
class Compact {
 public:
  enum Type : std::uint8_t { kTrue = 1, kFalse = 2, kI16 = 4, kI32 = 5, kI64 = 6, kBinary = 8,
                             kList = 9, kStruct = 12 };
  explicit Compact(std::string* out) : out_(out) {}
  void I16(int id, std::int16_t v);
  void I32(int id, std::int32_t v);
  void I64(int id, std::int64_t v);
  void Bool(int id, bool v);
  void Binary(int id, const std::string& v);
  void Struct(int id);  // a struct field: its fields follow, then End()
  void List(int id, Type element, std::size_t size);
  // A list's elements.
  void ElementI32(std::int32_t v);
  void ElementBinary(const std::string& v);
  void ElementStruct();  // its fields follow, then End()
  // The stop of the struct begun last (or of the outermost).
  void End();

 private:
  void Field(int id, std::uint8_t type);
  void ZigZag(std::int64_t v);
  std::string* out_;
  std::vector<int> last_{0};  // the last field id of each open struct
};

}  // namespace pktdump::parquet
