// A small Apache Parquet writer: one flat table of required and optional
// columns (INT32, INT64, BYTE_ARRAY; strings as UTF-8, timestamps in
// microseconds since 1970 UTC), written row by row in bounded memory.
//
// The file: "PAR1", the row groups, the footer (FileMetaData in Thrift's
// compact protocol), its length (4 bytes, little-endian) and "PAR1". A row
// group holds Settings::rowGroupRows rows (the last one fewer) and is
// written out as soon as it is full, so no more than one row group is ever
// held. Each column chunk is data pages (version 1) of about pageBytes
// before compression: an optional column's definition levels (the
// RLE/bit-packed hybrid, bit width 1, after their 4-byte length), then the
// values, PLAIN or, for a column marked dictionary, the indices into a
// dictionary page that comes first in the chunk (RLE_DICTIONARY, with a
// byte of bit width). A dictionary that grows past dictionaryBytes stops:
// that chunk's later pages and the column's later chunks are PLAIN. Pages
// are compressed with ZSTD where the build has libzstd (TRELM_HAVE_ZSTD),
// else written UNCOMPRESSED. Each chunk carries its null count and, for a
// column marked minMax, its smallest and largest value (integers signed,
// byte arrays as unsigned bytes), with the type-defined column order.
// Portable: the bytes go to a ByteOut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "parquet_schema.h"

namespace pktdump::parquet {

struct Settings {
  std::int64_t rowGroupRows = 128 * 1024;
  std::size_t pageBytes = 1 << 20;
  std::size_t dictionaryBytes = 1 << 20;  // past this the column goes PLAIN
  bool compress = true;  // ZSTD where the build has it
  int level = 3;
  std::string createdBy = "pktdump";
};

// Whether this build compresses (has libzstd).
bool CanCompress();

// Where a file's bytes go.
class ByteOut {
 public:
  virtual ~ByteOut() = default;
  // false when the bytes could not be written.
  virtual bool Write(const std::string& bytes) = 0;
};

class Writer {
 public:
  Writer(const std::vector<Column>& columns, ByteOut& out, const Settings& settings = Settings());
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // A row: each column's value or null, by the column's index, then
  // EndRow. A column given nothing in a row is null there (optional) or 0
  // and empty (required).
  void Null(std::size_t column);
  void Int32(std::size_t column, std::int32_t v);
  void Int64(std::size_t column, std::int64_t v);
  void Bytes(std::size_t column, const char* data, std::size_t size);
  void Bytes(std::size_t column, const std::string& v) { Bytes(column, v.data(), v.size()); }
  void EndRow();
  // The last row group and the footer. Returns whether every write went
  // through (also false when one failed before).
  bool Finish();
  std::int64_t Rows() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace pktdump::parquet
