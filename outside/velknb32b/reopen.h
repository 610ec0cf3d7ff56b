// The portable part of opening a dead socket again: the old socket's
// backlog read within bounds, and where it meets what the new socket took.
// The wrapper (lana_reopen.cpp) reads the sockets; this decides what is kept,
// what is only counted, and which datagrams both sockets hold. Header only,
// so that the native tests take it without a library of its own.
// Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "net/nbdgm.h"

namespace velknb {

// All of a datagram's bytes (its header's DGM_ID, source address and port
// and names among them) in 64 bits, and its size. Two datagrams are taken
// for the same one when their fingerprints are equal.
struct Fingerprint {
  std::uint64_t hash = 0;
  std::size_t size = 0;
  bool operator==(const Fingerprint& other) const {
    return hash == other.hash && size == other.size;
  }
  bool operator!=(const Fingerprint& other) const { return !(*this == other); }
};

inline Fingerprint FingerprintOf(const std::uint8_t* data, std::size_t size) {
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (std::size_t i = 0; i < size; ++i) {
    hash ^= data[i];
    hash *= 1099511628211ull;
  }
  return {hash, size};
}

// The bounds of one reading of an old socket. Kept datagrams are handed
// over whole; once a bound of the kept is reached, the datagrams after
// them are read only to be counted as dropped, within bounds of their own.
struct BacklogBounds {
  std::size_t keptDatagrams = 0;
  std::size_t keptBytes = 0;
  std::size_t countedDatagrams = 0;
  std::size_t countedBytes = 0;
};

// The datagrams read from the old socket, in the order read. The kept are
// always the first ones: once one datagram is only counted, every one after
// it is too, so that what is handed over keeps its order.
class Backlog {
 public:
  struct Entry {
    Fingerprint print;
    std::uint64_t arrival = 0;  // when it was read (a FILETIME's value on Windows)
    bool kept = false;
    std::size_t at = 0;  // a kept one's bytes in Bytes()
    // A counted one: whether it is one of our datagrams, and for whom.
    bool wellFormed = false;
    std::uint8_t destination[kNameSize] = {};
  };

  explicit Backlog(const BacklogBounds& bounds) : bounds_(bounds) {}

  // Whether the next datagram would still be kept: false once a bound of
  // the kept was reached.
  bool Keeping() const { return keeping_; }
  // Whether another datagram may be read at all.
  bool MayRead() const {
    return keeping_ || (counted_ < bounds_.countedDatagrams && countedBytes_ < bounds_.countedBytes);
  }

  // A datagram read, at arrival. Call only while MayRead().
  void Add(const std::uint8_t* data, std::size_t size, std::uint64_t arrival) {
    Entry e;
    e.print = FingerprintOf(data, size);
    e.arrival = arrival;
    if (keeping_ && (kept_ >= bounds_.keptDatagrams || bytes_.size() + size > bounds_.keptBytes)) {
      keeping_ = false;
    }
    if (keeping_) {
      e.kept = true;
      e.at = bytes_.size();
      bytes_.insert(bytes_.end(), data, data + size);
      ++kept_;
      if (kept_ >= bounds_.keptDatagrams || bytes_.size() >= bounds_.keptBytes) keeping_ = false;
    } else {
      Datagram d;
      e.wellFormed = ParseDatagram(data, size, d) == ParseResult::Ok;
      if (e.wellFormed) std::memcpy(e.destination, d.destination, kNameSize);
      ++counted_;
      countedBytes_ += size;
    }
    entries_.push_back(e);
  }

  // From here on the datagrams read came after the new socket opened: any
  // of them may be in the new one too.
  void MarkOpened() { opened_ = entries_.size(); }
  std::size_t Opened() const { return opened_; }

  std::size_t Size() const { return entries_.size(); }
  std::size_t Kept() const { return kept_; }
  std::size_t Counted() const { return counted_; }
  const Entry& operator[](std::size_t i) const { return entries_[i]; }
  // A kept entry's bytes.
  const std::uint8_t* Data(const Entry& e) const { return bytes_.data() + e.at; }
  // The fingerprints of the entries from first on.
  std::vector<Fingerprint> Prints(std::size_t first) const {
    std::vector<Fingerprint> prints;
    for (std::size_t i = first; i < entries_.size(); ++i) prints.push_back(entries_[i].print);
    return prints;
  }

 private:
  BacklogBounds bounds_;
  std::vector<Entry> entries_;
  std::vector<std::uint8_t> bytes_;
  std::size_t kept_ = 0;
  std::size_t counted_ = 0;
  std::size_t countedBytes_ = 0;
  std::size_t opened_ = 0;
  bool keeping_ = true;
};

// What both sockets took: the longest run at the end of what the old
// socket took after the new one opened (older, in order) that is, datagram
// for datagram, the start of what the new socket took (fresh). The whole
// run must match, to the old socket's last datagram: a datagram equal to
// one of the run but before it (a sender that repeats itself) cannot move
// where the run starts, and what the old socket held before the run is
// never taken for part of it.
//
// Every datagram that comes after the new socket opened is handed to both,
// in the same order, as long as the old one takes any: until it leaves the
// group, and under Wine on Linux for as long as any socket of the machine
// is in the group (the new one is), so up to its last read. So what both
// took is such a run, unless the old one, full, missed some of it; then a
// shorter run or none is found, and datagrams are handed over twice, never
// lost. Only a repetition with no difference at all (the same datagrams,
// byte for byte, before the new socket opened and again after it) reads
// as a longer run than it was. (Knuth-Morris-Pratt: linear in both.)
//
// freshCut: the new socket's read stopped at a bound with more waiting.
// Then the run may go on past what was read of it: where all of fresh
// stands in older, the last such place starts the run, and everything of
// older from there on is in the new socket too (the last place: should
// an earlier one be the true start, what lies between is handed over
// twice, never lost).
inline std::size_t Overlap(const std::vector<Fingerprint>& older,
                           const std::vector<Fingerprint>& fresh, bool freshCut = false) {
  const std::size_t m = fresh.size();
  if (m == 0 || older.empty()) return 0;
  // fail[i]: the longest proper start of fresh[0..i] that also ends it.
  std::vector<std::size_t> fail(m, 0);
  for (std::size_t i = 1, k = 0; i < m; ++i) {
    while (k > 0 && fresh[i] != fresh[k]) k = fail[k - 1];
    if (fresh[i] == fresh[k]) ++k;
    fail[i] = k;
  }
  std::size_t q = 0;  // how much of fresh's start ends what was read so far
  std::size_t whole = 0;  // older's size past the start of fresh's last whole match
  for (std::size_t j = 0; j < older.size(); ++j) {
    const Fingerprint& p = older[j];
    if (q == m) q = fail[q - 1];
    while (q > 0 && fresh[q] != p) q = fail[q - 1];
    if (fresh[q] == p) ++q;
    if (q == m) whole = older.size() - (j + 1 - m);
  }
  return freshCut && whole > q ? whole : q;
}

}  // namespace velknb
