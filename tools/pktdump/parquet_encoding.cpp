// The byte encodings of the Parquet writer (parquet_encoding.h).
#include "parquet_encoding.h"

namespace pktdump::parquet {

void PutLe32(std::string* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}

void PutLe64(std::string* out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}

void PutVarint(std::string* out, std::uint64_t v) {
  while (v >= 0x80) {
    out->push_back(static_cast<char>((v & 0x7F) | 0x80));
    v >>= 7;
  }
  out->push_back(static_cast<char>(v));
}

int BitWidth(std::uint32_t max) {
  int width = 0;
  while (max != 0) {
    ++width;
    max >>= 1;
  }
  return width;
}

namespace {

// How many values from at on equal values[at], counting no further than limit.
std::size_t RunAt(const std::vector<std::uint32_t>& values, std::size_t at, std::size_t limit) {
  std::size_t n = 1;
  while (at + n < values.size() && n < limit && values[at + n] == values[at]) ++n;
  return n;
}

constexpr std::size_t kGroup = 8;
constexpr std::size_t kMaxGroups = 63;  // a run header of one byte

}  // namespace

void PutHybrid(std::string* out, const std::vector<std::uint32_t>& values, int width) {
  const std::size_t n = values.size();
  const int valueBytes = (width + 7) / 8;
  std::size_t i = 0;
  while (i < n) {
    const std::size_t run = RunAt(values, i, n);
    if (run >= kGroup) {
      PutVarint(out, static_cast<std::uint64_t>(run) << 1);
      for (int b = 0; b < valueBytes; ++b) out->push_back(static_cast<char>(values[i] >> (8 * b)));
      i += run;
      continue;
    }
    // Bit-packed groups until a run of eight starts at a group's start.
    const std::size_t start = i;
    std::size_t groups = 0;
    do {
      i += kGroup;
      ++groups;
    } while (i < n && groups < kMaxGroups && RunAt(values, i, kGroup) < kGroup);
    PutVarint(out, static_cast<std::uint64_t>(groups) << 1 | 1);
    std::uint64_t bits = 0;
    int held = 0;
    for (std::size_t k = start; k < start + groups * kGroup; ++k) {
      bits |= static_cast<std::uint64_t>(k < n ? values[k] : 0) << held;
      held += width;
      while (held >= 8) {
        out->push_back(static_cast<char>(bits & 0xFF));
        bits >>= 8;
        held -= 8;
      }
    }
    if (i > n) i = n;
  }
}

void Compact::Field(int id, std::uint8_t type) {
  const int delta = id - last_.back();
  if (delta > 0 && delta <= 15) {
    out_->push_back(static_cast<char>(delta << 4 | type));
  } else {
    out_->push_back(static_cast<char>(type));
    ZigZag(id);
  }
  last_.back() = id;
}

void Compact::ZigZag(std::int64_t v) {
  PutVarint(out_, (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63));
}

void Compact::I16(int id, std::int16_t v) {
  Field(id, kI16);
  ZigZag(v);
}

void Compact::I32(int id, std::int32_t v) {
  Field(id, kI32);
  ZigZag(v);
}

void Compact::I64(int id, std::int64_t v) {
  Field(id, kI64);
  ZigZag(v);
}

void Compact::Bool(int id, bool v) { Field(id, v ? kTrue : kFalse); }

void Compact::Binary(int id, const std::string& v) {
  Field(id, kBinary);
  ElementBinary(v);
}

void Compact::Struct(int id) {
  Field(id, kStruct);
  last_.push_back(0);
}

void Compact::List(int id, Type element, std::size_t size) {
  Field(id, kList);
  if (size < 15) {
    out_->push_back(static_cast<char>(size << 4 | element));
  } else {
    out_->push_back(static_cast<char>(0xF0 | element));
    PutVarint(out_, size);
  }
}

void Compact::ElementI32(std::int32_t v) { ZigZag(v); }

void Compact::ElementBinary(const std::string& v) {
  PutVarint(out_, v.size());
  out_->append(v);
}

void Compact::ElementStruct() { last_.push_back(0); }

void Compact::End() {
  out_->push_back(0);
  if (last_.size() > 1) last_.pop_back();
}

}  // namespace pktdump::parquet
