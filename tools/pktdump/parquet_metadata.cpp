// Page headers and the footer of the Parquet writer, field by field as
// the format's Thrift definitions number them (parquet_metadata.h).
#include "parquet_metadata.h"

#include "parquet_encoding.h"

namespace pktdump::parquet {

namespace {

// ConvertedType beside the LogicalType, for older readers.
constexpr int kConvertedUtf8 = 0;
constexpr int kConvertedTimestampMicros = 10;
constexpr int kRequired = 0, kOptional = 1;

void SchemaElement(Compact& c, const Column& column) {
  c.ElementStruct();
  c.I32(1, static_cast<int>(column.type));
  c.I32(3, column.optional ? kOptional : kRequired);
  c.Binary(4, column.name);
  if (column.annotation == Annotation::kString) {
    c.I32(6, kConvertedUtf8);
    c.Struct(10);  // LogicalType
    c.Struct(1);   // STRING
    c.End();
    c.End();
  } else if (column.annotation == Annotation::kTimestampMicros) {
    c.I32(6, kConvertedTimestampMicros);
    c.Struct(10);  // LogicalType
    c.Struct(8);   // TIMESTAMP
    c.Bool(1, true);  // isAdjustedToUTC
    c.Struct(2);      // unit
    c.Struct(2);      // MICROS
    c.End();
    c.End();
    c.End();
    c.End();
  }
  c.End();
}

void ColumnChunk(Compact& c, const Column& column, const ChunkFacts& chunk) {
  c.ElementStruct();
  c.I64(2, chunk.dictionaryOffset >= 0 ? chunk.dictionaryOffset : chunk.dataOffset);
  c.Struct(3);  // ColumnMetaData
  c.I32(1, static_cast<int>(column.type));
  c.List(2, Compact::kI32, chunk.encodings.size());
  for (Encoding e : chunk.encodings) c.ElementI32(e);
  c.List(3, Compact::kBinary, 1);
  c.ElementBinary(column.name);
  c.I32(4, chunk.codec);
  c.I64(5, chunk.values);
  c.I64(6, chunk.uncompressed);
  c.I64(7, chunk.compressed);
  c.I64(9, chunk.dataOffset);
  if (chunk.dictionaryOffset >= 0) c.I64(11, chunk.dictionaryOffset);
  c.Struct(12);  // Statistics
  c.I64(3, chunk.nulls);
  if (chunk.minMax) {
    c.Binary(5, chunk.max);
    c.Binary(6, chunk.min);
  }
  c.End();
  c.End();
  c.End();
}

}  // namespace

std::string PageHeader(const PageFacts& page) {
  std::string out;
  Compact c(&out);
  c.I32(1, page.type);
  c.I32(2, page.uncompressed);
  c.I32(3, page.compressed);
  if (page.type == kDataPage) {
    c.Struct(5);
    c.I32(1, page.values);
    c.I32(2, page.encoding);
    c.I32(3, kRle);  // definition levels
    c.I32(4, kRle);  // repetition levels (none: the table is flat)
    c.End();
  } else {
    c.Struct(7);
    c.I32(1, page.values);
    c.I32(2, page.encoding);
    c.End();
  }
  c.End();
  return out;
}

std::string FileFooter(const std::vector<Column>& columns, const std::vector<RowGroupFacts>& groups,
                       const std::string& createdBy) {
  std::string out;
  Compact c(&out);
  c.I32(1, 1);  // version
  c.List(2, Compact::kStruct, columns.size() + 1);
  c.ElementStruct();  // the root
  c.Binary(4, "schema");
  c.I32(5, static_cast<std::int32_t>(columns.size()));
  c.End();
  for (const Column& column : columns) SchemaElement(c, column);
  std::int64_t rows = 0;
  for (const RowGroupFacts& g : groups) rows += g.rows;
  c.I64(3, rows);
  c.List(4, Compact::kStruct, groups.size());
  for (std::size_t i = 0; i < groups.size(); ++i) {
    const RowGroupFacts& g = groups[i];
    c.ElementStruct();
    c.List(1, Compact::kStruct, g.chunks.size());
    std::int64_t uncompressed = 0, compressed = 0;
    for (std::size_t k = 0; k < g.chunks.size(); ++k) {
      ColumnChunk(c, columns[k], g.chunks[k]);
      uncompressed += g.chunks[k].uncompressed;
      compressed += g.chunks[k].compressed;
    }
    c.I64(2, uncompressed);
    c.I64(3, g.rows);
    c.I64(5, g.offset);
    c.I64(6, compressed);
    c.I16(7, static_cast<std::int16_t>(i));
    c.End();
  }
  c.Binary(6, createdBy);
  c.List(7, Compact::kStruct, columns.size());
  for (std::size_t i = 0; i < columns.size(); ++i) {
    c.ElementStruct();  // ColumnOrder
    c.Struct(1);        // TYPE_ORDER
    c.End();
    c.End();
  }
  c.End();
  return out;
}

}  // namespace pktdump::parquet
