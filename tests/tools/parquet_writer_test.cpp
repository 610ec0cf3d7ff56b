// The Parquet writer's bytes: the encodings (varints, the RLE/bit-packed
// hybrid, Thrift's compact protocol) and a whole tiny file byte for byte,
// then the edge cases' facts as the writer's own footer gives them. With
// TRELM_PARQUET_CASES set, the edge cases are also left there as files
// with what a reader must find in each (cases.json), for the independent
// readers of parquet_test.sh, which are the oracles of what they mean.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "parquet_encoding.h"
#include "parquet_tables.h"
#include "parquet_writer.h"

namespace {

using namespace pktdump::parquet;

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

class Memory : public ByteOut {
 public:
  bool Write(const std::string& bytes) override {
    if (fail) return false;
    data += bytes;
    return true;
  }
  std::string data;
  bool fail = false;
};

TEST(ParquetEncoding, VarintsLittleEndianAndHybridRuns) {
  struct Case {
    const char* what;
    std::vector<std::uint32_t> values;
    int width;
    const char* hex;
  };
  const std::vector<Case> cases = {
      {"ten equal values: one RLE run", {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, 1, "14 01"},
      {"eight alternating: one bit-packed group", {0, 1, 0, 1, 0, 1, 0, 1}, 1, "03 aa"},
      {"three values: a group padded with zeros", {1, 0, 1}, 1, "03 05"},
      {"a group, then a run from the next group's start",
       {1, 0, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       1, "03 fd 12 00"},
      {"width 3 packs across bytes", {0, 1, 2, 3, 4, 5, 6, 7}, 3, "03 88 c6 fa"},
      {"a run of 300 of width 9 takes two value bytes", std::vector<std::uint32_t>(300, 257), 9,
       "d8 04 01 01"},
      {"nothing: no bytes", {}, 1, ""},
  };
  for (const Case& c : cases) {
    std::string out;
    PutHybrid(&out, c.values, c.width);
    EXPECT_EQ(Hex(out), c.hex) << c.what;
  }
  std::string v;
  PutVarint(&v, 300);
  PutLe32(&v, 0x01020304);
  PutLe64(&v, 1);
  EXPECT_EQ(Hex(v), "ac 02 04 03 02 01 01 00 00 00 00 00 00 00");
  EXPECT_EQ(BitWidth(0), 0);
  EXPECT_EQ(BitWidth(1), 1);
  EXPECT_EQ(BitWidth(255), 8);
  EXPECT_EQ(BitWidth(256), 9);
}

TEST(ParquetEncoding, ThriftCompactFieldsListsAndStructs) {
  std::string out;
  Compact c(&out);
  c.I32(1, -1);        // short form: delta 1, type 5; zigzag 1
  c.I64(20, 150);      // long form: the type, then the id as a zigzag varint
  c.Bool(21, true);    // the value in the type
  c.Binary(22, "ab");
  c.List(23, Compact::kI32, 16);  // 15 or more: the size after 0xf5
  for (int i = 0; i < 16; ++i) c.ElementI32(0);
  c.Struct(24);
  c.I16(1, 7);
  c.End();
  c.End();
  EXPECT_EQ(Hex(out),
            "15 01 06 28 ac 02 11 18 02 61 62 19 f5 10 00 00 00 00 00 00 00 00 00 00 00 00 00 "
            "00 00 00 1c 14 0e 00 00");
}

// One required INT32 column of 1, 2, 3, uncompressed: every byte.
TEST(ParquetWriter, TinyFileByteForByte) {
  Memory out;
  Settings s;
  s.compress = false;
  s.createdBy = "t";
  Writer w({{"a", Type::kInt32}}, out, s);
  for (int v = 1; v <= 3; ++v) {
    w.Int32(0, v);
    w.EndRow();
  }
  ASSERT_TRUE(w.Finish());
  const std::string expected =
      // magic
      "50 41 52 31 "
      // page header: DATA_PAGE, 12 bytes, 12 bytes, {3 values, PLAIN, RLE, RLE}
      "15 00 15 18 15 18 2c 15 06 15 00 15 06 15 06 00 00 "
      // the values, PLAIN
      "01 00 00 00 02 00 00 00 03 00 00 00 "
      // footer: version 1; schema [root "schema" of 1, a: INT32 REQUIRED]
      "15 02 19 2c 48 06 73 63 68 65 6d 61 15 02 00 15 02 25 00 18 01 61 00 "
      // num_rows 3; a row group: a chunk at 4 {INT32, [PLAIN, RLE], [a], UNCOMPRESSED,
      // 3 values, 29 and 29 bytes, data page at 4, statistics {null_count 0}}
      "16 06 19 1c 19 1c 26 08 1c 15 02 19 25 00 06 19 18 01 61 15 00 16 06 16 3a 16 3a "
      "26 08 3c 36 00 00 00 00 "
      // the row group's 29 bytes, 3 rows, at 4, 29 compressed, ordinal 0
      "16 3a 16 06 26 08 16 3a 14 00 00 "
      // created_by "t"; column orders [TYPE_ORDER]
      "28 01 74 19 1c 1c 00 00 00 "
      // the footer's length (78), magic
      "4e 00 00 00 50 41 52 31";
  EXPECT_EQ(Hex(out.data), expected);
}

// The facts of a file that its own footer gives: rows, row groups.
std::int32_t FooterLength(const std::string& file) {
  const std::size_t n = file.size();
  return static_cast<std::int32_t>(static_cast<unsigned char>(file[n - 8]) |
                                   static_cast<unsigned char>(file[n - 7]) << 8 |
                                   static_cast<unsigned char>(file[n - 6]) << 16 |
                                   static_cast<unsigned char>(file[n - 5]) << 24);
}

// The edge cases, each a table the readers must read back as written.
struct EdgeCase {
  std::string name;
  std::vector<Column> columns;
  Settings settings;
  std::vector<std::vector<std::string>> rows;  // "\x01null" for null
  std::int64_t rowGroups;
  std::string encodings;  // of the last column's first chunk, as the readers list them
};

const char* const kNull = "\x01null";

std::vector<EdgeCase> EdgeCases() {
  std::vector<EdgeCase> cases;
  const std::vector<Column> pair = {{"n", Type::kInt64, false, Annotation::kNone, false, true},
                                    {"s", Type::kByteArray, true, Annotation::kString, true, true}};
  cases.push_back({"empty", pair, Settings(), {}, 0, ""});
  EdgeCase nulls{"all_null", {{"n", Type::kInt32, true, Annotation::kNone, false, true}}, Settings(),
                 {}, 1, "PLAIN,RLE"};
  for (int i = 0; i < 10; ++i) nulls.rows.push_back({kNull});
  cases.push_back(nulls);
  EdgeCase overflow{"dictionary_overflow", pair, Settings(), {}, 1, "PLAIN,RLE,RLE_DICTIONARY"};
  overflow.settings.dictionaryBytes = 64;
  for (int i = 0; i < 40; ++i) {
    overflow.rows.push_back({std::to_string(i), i % 7 == 3 ? kNull : "text " + std::to_string(i % 12)});
  }
  cases.push_back(overflow);
  EdgeCase boundary{"row_group_boundary", pair, Settings(), {}, 3, "RLE,RLE_DICTIONARY"};
  boundary.settings.rowGroupRows = 4;
  for (int i = 0; i < 12; ++i) boundary.rows.push_back({std::to_string(i * 1000000007LL), "x"});
  cases.push_back(boundary);
  EdgeCase text{"non_ascii_text", pair, Settings(), {}, 1, "RLE,RLE_DICTIONARY"};
  text.rows = {{"1", Utf8("caf\xe9 \xff\x80 \x7f")}, {"2", Utf8(std::string("a\0b", 3))}, {"3", ""}};
  cases.push_back(text);
  return cases;
}

void WriteCase(const EdgeCase& c, ByteOut& out) {
  Writer w(c.columns, out, c.settings);
  for (const auto& row : c.rows) {
    for (std::size_t k = 0; k < row.size(); ++k) {
      if (row[k] == kNull) {
        w.Null(k);
      } else if (c.columns[k].type == Type::kByteArray) {
        w.Bytes(k, row[k]);
      } else if (c.columns[k].type == Type::kInt64) {
        w.Int64(k, std::stoll(row[k]));
      } else {
        w.Int32(k, std::stoi(row[k]));
      }
    }
    w.EndRow();
  }
  ASSERT_TRUE(w.Finish()) << c.name;
}

TEST(ParquetWriter, EdgeCasesAreWholeFiles) {
  for (const EdgeCase& c : EdgeCases()) {
    Memory out;
    WriteCase(c, out);
    const std::string& f = out.data;
    ASSERT_GE(f.size(), 12u) << c.name;
    EXPECT_EQ(f.substr(0, 4), "PAR1") << c.name;
    EXPECT_EQ(f.substr(f.size() - 4), "PAR1") << c.name;
    const std::int32_t footer = FooterLength(f);
    EXPECT_GT(footer, 0) << c.name;
    EXPECT_LE(static_cast<std::size_t>(footer) + 12, f.size()) << c.name;
    if (c.rows.empty()) {
      // Nothing between the magic and the footer.
      EXPECT_EQ(static_cast<std::size_t>(footer) + 12, f.size()) << c.name;
    }
  }
}

TEST(ParquetWriter, AFailedWriteIsSaidAtTheEnd) {
  Memory out;
  out.fail = true;
  Writer w({{"a", Type::kInt32}}, out);
  w.Int32(0, 1);
  w.EndRow();
  EXPECT_FALSE(w.Finish());
}

TEST(ParquetWriter, TextsAreUtf8OfTheirBytes) {
  EXPECT_EQ(Hex(Utf8("A\xe9\xff\x80")), "41 c3 a9 c3 bf c2 80");
  EXPECT_EQ(Micros(116444736000000000ULL), 0);
  EXPECT_EQ(Micros(116444736000000019ULL), 1);  // the tenths of a microsecond dropped
  EXPECT_EQ(Micros(0), -11644473600000000LL);
}

// For the readers: each case's file and what they must find in it.
TEST(ParquetWriter, EdgeCasesForTheReaders) {
  const char* dir = std::getenv("TRELM_PARQUET_CASES");
  if (dir == nullptr) GTEST_SKIP() << "TRELM_PARQUET_CASES not set";
  std::filesystem::create_directories(dir);
  std::string json = "[";
  for (const EdgeCase& c : EdgeCases()) {
    Memory out;
    WriteCase(c, out);
    std::ofstream(std::string(dir) + "/" + c.name + ".parquet", std::ios::binary) << out.data;
    json += std::string(json.size() > 1 ? ",\n" : "") + "{\"name\":\"" + c.name +
            "\",\"row_groups\":" + std::to_string(c.rowGroups) + ",\"encodings\":\"" + c.encodings +
            "\",\"columns\":[";
    for (std::size_t k = 0; k < c.columns.size(); ++k) json += (k ? ",\"" : "\"") + c.columns[k].name + "\"";
    json += "],\"rows\":[";
    for (std::size_t r = 0; r < c.rows.size(); ++r) {
      json += r ? ",[" : "[";
      for (std::size_t k = 0; k < c.rows[r].size(); ++k) {
        std::string cell = "null";
        if (c.rows[r][k] != kNull) {
          cell = "\"";
          // The cells are UTF-8 already: only what JSON escapes is escaped.
          for (unsigned char ch : c.rows[r][k]) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", ch);
            const bool plain = ch >= 0x20 && ch != 0x7f && ch != '"' && ch != '\\';
            cell += plain ? std::string(1, static_cast<char>(ch)) : std::string(escape);
          }
          cell += "\"";
        }
        json += (k ? "," : "") + cell;
      }
      json += "]";
    }
    json += "]}";
  }
  std::ofstream(std::string(dir) + "/cases.json") << json << "]\n";
}

}  // namespace
