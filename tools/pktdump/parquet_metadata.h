// What the Parquet writer tells of its pages and its file, in Thrift's
// compact protocol: a page header, and the footer (FileMetaData) with the
// schema, the row groups and their column chunks. Only the fields a reader
// needs, and the statistics. Used by parquet_writer.cpp alone. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "parquet_schema.h"

namespace pktdump::parquet {

// The format's numbers for what the writer uses.
enum Encoding { kPlain = 0, kRle = 3, kRleDictionary = 8 };
enum PageType { kDataPage = 0, kDictionaryPage = 2 };
enum Codec { kUncompressed = 0, kZstd = 6 };

struct PageFacts {
  PageType type = kDataPage;
  std::int32_t uncompressed = 0, compressed = 0;
  std::int32_t values = 0;  // nulls included
  Encoding encoding = kPlain;
};
std::string PageHeader(const PageFacts& page);

struct ChunkFacts {
  std::vector<Encoding> encodings;
  Codec codec = kUncompressed;
  std::int64_t values = 0, nulls = 0;
  std::int64_t uncompressed = 0, compressed = 0;  // page headers included
  std::int64_t dataOffset = 0, dictionaryOffset = -1;  // -1: no dictionary page
  bool minMax = false;
  std::string min, max;  // PLAIN bytes of the values (strings without length)
};

struct RowGroupFacts {
  std::vector<ChunkFacts> chunks;
  std::int64_t rows = 0, offset = 0;
};

std::string FileFooter(const std::vector<Column>& columns, const std::vector<RowGroupFacts>& groups,
                       const std::string& createdBy);

}  // namespace pktdump::parquet
