// The Parquet writer (parquet_writer.h): values gathered column by column
// into pages, pages compressed as they fill and held with their chunk until
// the row group is full, then the row group written out, the footer last.
#include "parquet_writer.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <string_view>
#include <unordered_map>

#include "parquet_encoding.h"
#include "parquet_metadata.h"

#ifdef TRELM_HAVE_ZSTD
#include <zstd.h>
#endif

namespace pktdump::parquet {

bool CanCompress() {
#ifdef TRELM_HAVE_ZSTD
  return true;
#else
  return false;
#endif
}

namespace {

// One column: the page being filled, the chunk's finished pages and its
// dictionary.
struct ColumnState {
  Column column;
  // The page.
  std::vector<std::uint32_t> levels;   // optional columns: 1 a value, 0 null
  std::string plain;                   // PLAIN values
  std::vector<std::uint32_t> indices;  // dictionary indices
  std::int32_t pageValues = 0;         // nulls included
  bool setInRow = false;
  // The chunk.
  std::string pages;
  ChunkFacts facts;
  bool plainPages = false, dictionaryPages = false;
  // The chunk's dictionary; once it has outgrown its bytes, the column's
  // later values are PLAIN.
  std::deque<std::string> entries;
  std::unordered_map<std::string_view, std::uint32_t> dictionary;
  std::size_t dictionaryBytes = 0;
  bool stopped = false;
  bool seen = false;  // a value for min and max
  std::int64_t minInt = 0, maxInt = 0;

  std::size_t PageBytes() const { return plain.size() + indices.size() * 4 + levels.size() / 8; }
  bool Dictionary() const { return column.dictionary && !stopped; }
};

std::string Le(std::int64_t v, Type type) {
  std::string out;
  if (type == Type::kInt32) {
    PutLe32(&out, static_cast<std::uint32_t>(v));
  } else {
    PutLe64(&out, static_cast<std::uint64_t>(v));
  }
  return out;
}

}  // namespace

class Writer::Impl {
 public:
  Impl(const std::vector<Column>& columns, ByteOut& out, const Settings& settings)
      : out_(out), settings_(settings), columns_(columns) {
    for (const Column& c : columns) {
      state_.emplace_back();
      state_.back().column = c;
    }
    compress_ = settings.compress && CanCompress();
#ifdef TRELM_HAVE_ZSTD
    if (compress_) context_ = ZSTD_createCCtx();
#endif
    Put("PAR1");
  }
  ~Impl() {
#ifdef TRELM_HAVE_ZSTD
    if (context_ != nullptr) ZSTD_freeCCtx(context_);
#endif
  }

  void Null(ColumnState& c) {
    c.levels.push_back(0);
    ++c.facts.nulls;
    Counted(c);
  }
  void Int(ColumnState& c, std::int64_t v) {
    if (c.column.type == Type::kInt32) {
      PutLe32(&c.plain, static_cast<std::uint32_t>(v));
    } else {
      PutLe64(&c.plain, static_cast<std::uint64_t>(v));
    }
    if (c.column.minMax) {
      c.minInt = c.seen ? std::min(c.minInt, v) : v;
      c.maxInt = c.seen ? std::max(c.maxInt, v) : v;
      c.seen = true;
    }
    Valued(c);
  }
  void Bytes(ColumnState& c, std::string_view v) {
    if (c.column.minMax) {
      // Byte arrays order as unsigned bytes: std::string_view's compare.
      if (!c.seen || v < c.facts.min) c.facts.min.assign(v.data(), v.size());
      if (!c.seen || v > c.facts.max) c.facts.max.assign(v.data(), v.size());
      c.seen = true;
    }
    if (c.Dictionary()) {
      auto at = c.dictionary.find(v);
      if (at == c.dictionary.end() && c.dictionaryBytes + v.size() + 4 > settings_.dictionaryBytes) {
        // The dictionary is full: what it coded goes out as its page, and
        // the column is PLAIN from here on.
        FlushPage(c);
        c.stopped = true;
      } else {
        if (at == c.dictionary.end()) {
          c.entries.emplace_back(v);
          c.dictionaryBytes += v.size() + 4;
          at = c.dictionary.emplace(c.entries.back(), static_cast<std::uint32_t>(c.entries.size() - 1)).first;
        }
        c.indices.push_back(at->second);
        Valued(c);
        return;
      }
    }
    PutLe32(&c.plain, static_cast<std::uint32_t>(v.size()));
    c.plain.append(v.data(), v.size());
    Valued(c);
  }

  void EndRow() {
    for (ColumnState& c : state_) {
      if (!c.setInRow) {
        if (c.column.optional) {
          Null(c);
        } else if (c.column.type == Type::kByteArray) {
          Bytes(c, std::string_view());
        } else {
          Int(c, 0);
        }
      }
      c.setInRow = false;
      if (c.PageBytes() >= settings_.pageBytes) FlushPage(c);
    }
    ++rows_;
    ++groupRows_;
    if (groupRows_ >= settings_.rowGroupRows) FlushRowGroup();
  }

  bool Finish() {
    if (groupRows_ > 0) FlushRowGroup();
    const std::string footer = FileFooter(columns_, groups_, settings_.createdBy);
    Put(footer);
    std::string tail;
    PutLe32(&tail, static_cast<std::uint32_t>(footer.size()));
    Put(tail + "PAR1");
    return ok_;
  }

  ColumnState& At(std::size_t column) {
    ColumnState& c = state_.at(column);
    c.setInRow = true;
    return c;
  }
  std::int64_t Rows() const { return rows_; }

 private:
  void Valued(ColumnState& c) {
    if (c.column.optional) c.levels.push_back(1);
    Counted(c);
  }
  void Counted(ColumnState& c) {
    ++c.pageValues;
    ++c.facts.values;
  }

  void Put(const std::string& bytes) {
    if (ok_ && !bytes.empty()) ok_ = out_.Write(bytes);
    at_ += static_cast<std::int64_t>(bytes.size());
  }

  // A page's body compressed, or as it is.
  std::string Compressed(const std::string& body) {
#ifdef TRELM_HAVE_ZSTD
    if (compress_) {
      std::string out(ZSTD_compressBound(body.size()), '\0');
      const std::size_t n = ZSTD_compressCCtx(context_, &out[0], out.size(), body.data(), body.size(),
                                              settings_.level);
      if (!ZSTD_isError(n)) {
        out.resize(n);
        return out;
      }
      ok_ = false;
    }
#endif
    return body;
  }

  // The page's header and body onto the chunk; returns their size before
  // compression.
  std::int64_t AddPage(std::string* into, PageFacts page, const std::string& body) {
    const std::string packed = Compressed(body);
    page.uncompressed = static_cast<std::int32_t>(body.size());
    page.compressed = static_cast<std::int32_t>(packed.size());
    const std::string header = PageHeader(page);
    *into += header;
    *into += packed;
    return static_cast<std::int64_t>(header.size() + body.size());
  }

  void FlushPage(ColumnState& c) {
    if (c.pageValues == 0) return;
    std::string body;
    if (c.column.optional) {
      std::string levels;
      PutHybrid(&levels, c.levels, 1);
      PutLe32(&body, static_cast<std::uint32_t>(levels.size()));
      body += levels;
    }
    PageFacts page;
    page.values = c.pageValues;
    // A page of nulls alone has no values to code: PLAIN.
    if (!c.indices.empty()) {
      const int width = std::max(1, BitWidth(static_cast<std::uint32_t>(c.entries.size() - 1)));
      body.push_back(static_cast<char>(width));
      PutHybrid(&body, c.indices, width);
      page.encoding = kRleDictionary;
      c.dictionaryPages = true;
    } else {
      body += c.plain;
      page.encoding = kPlain;
      c.plainPages = true;
    }
    c.facts.uncompressed += AddPage(&c.pages, page, body);
    c.levels.clear();
    c.plain.clear();
    c.indices.clear();
    c.pageValues = 0;
  }

  void FlushRowGroup() {
    RowGroupFacts group;
    group.rows = groupRows_;
    group.offset = at_;
    for (ColumnState& c : state_) {
      FlushPage(c);
      ChunkFacts facts = c.facts;
      facts.codec = compress_ ? kZstd : kUncompressed;
      std::string dictionaryPage;
      if (!c.entries.empty()) {
        std::string body;
        for (const std::string& e : c.entries) {
          PutLe32(&body, static_cast<std::uint32_t>(e.size()));
          body += e;
        }
        PageFacts page;
        page.type = kDictionaryPage;
        page.values = static_cast<std::int32_t>(c.entries.size());
        facts.uncompressed += AddPage(&dictionaryPage, page, body);
        facts.dictionaryOffset = at_;
      }
      facts.dataOffset = at_ + static_cast<std::int64_t>(dictionaryPage.size());
      facts.compressed = static_cast<std::int64_t>(dictionaryPage.size() + c.pages.size());
      if (c.plainPages || c.entries.empty()) facts.encodings.push_back(kPlain);
      facts.encodings.push_back(kRle);
      if (c.dictionaryPages) facts.encodings.push_back(kRleDictionary);
      facts.minMax = c.column.minMax && c.seen;
      if (facts.minMax && c.column.type != Type::kByteArray) {
        facts.min = Le(c.minInt, c.column.type);
        facts.max = Le(c.maxInt, c.column.type);
      }
      Put(dictionaryPage);
      Put(c.pages);
      group.chunks.push_back(facts);
      // The next chunk starts afresh (a stopped dictionary stays stopped).
      c.pages.clear();
      c.facts = ChunkFacts();
      c.plainPages = c.dictionaryPages = c.seen = false;
      c.dictionary.clear();
      c.entries.clear();
      c.dictionaryBytes = 0;
    }
    groups_.push_back(group);
    groupRows_ = 0;
  }

  ByteOut& out_;
  const Settings settings_;
  const std::vector<Column> columns_;
  std::vector<ColumnState> state_;
  std::vector<RowGroupFacts> groups_;
  std::int64_t rows_ = 0, groupRows_ = 0, at_ = 0;
  bool ok_ = true, compress_ = false;
#ifdef TRELM_HAVE_ZSTD
  ZSTD_CCtx* context_ = nullptr;
#endif
};

Writer::Writer(const std::vector<Column>& columns, ByteOut& out, const Settings& settings)
    : impl_(std::make_unique<Impl>(columns, out, settings)) {}
Writer::~Writer() = default;

void Writer::Null(std::size_t column) { impl_->Null(impl_->At(column)); }
void Writer::Int32(std::size_t column, std::int32_t v) { impl_->Int(impl_->At(column), v); }
void Writer::Int64(std::size_t column, std::int64_t v) { impl_->Int(impl_->At(column), v); }
void Writer::Bytes(std::size_t column, const char* data, std::size_t size) {
  impl_->Bytes(impl_->At(column), std::string_view(data, size));
}
void Writer::EndRow() { impl_->EndRow(); }
bool Writer::Finish() { return impl_->Finish(); }
std::int64_t Writer::Rows() const { return impl_->Rows(); }

}  // namespace pktdump::parquet
