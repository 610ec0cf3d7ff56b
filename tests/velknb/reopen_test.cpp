// The portable part of opening a dead socket again, natively: the old
// socket's backlog is kept within a count and a number of bytes and only
// counted beyond them, and what both sockets took is found as a whole run,
// which a repeated datagram cannot move.
#include "reopen.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velknb {
namespace {

// A datagram to a name, its data a text.
std::vector<std::uint8_t> DatagramTo(const char* name, const std::string& text, std::uint16_t id = 1) {
  Datagram d;
  d.id = id;
  PadName("SENDER", d.source);
  PadName(name, d.destination);
  d.data = reinterpret_cast<const std::uint8_t*>(text.data());
  d.length = text.size();
  std::vector<std::uint8_t> out(kMaxDatagram);
  out.resize(BuildDatagram(d, out.data(), out.size()));
  return out;
}

Fingerprint One(const std::string& text) {
  const std::vector<std::uint8_t> d = DatagramTo("NAME", text);
  return FingerprintOf(d.data(), d.size());
}

std::vector<Fingerprint> PrintsOf(const std::vector<std::string>& texts) {
  std::vector<Fingerprint> prints;
  for (const std::string& t : texts) prints.push_back(One(t));
  return prints;
}

TEST(Reopen, AFingerprintTakesEveryByteAndTheSize) {
  const std::vector<std::uint8_t> a = DatagramTo("NAME", "same", 1);
  const std::vector<std::uint8_t> b = DatagramTo("NAME", "same", 2);  // another DGM_ID
  const std::vector<std::uint8_t> c = DatagramTo("NAMF", "same", 1);  // another name
  EXPECT_EQ(FingerprintOf(a.data(), a.size()), FingerprintOf(a.data(), a.size()));
  EXPECT_NE(FingerprintOf(a.data(), a.size()), FingerprintOf(b.data(), b.size()));
  EXPECT_NE(FingerprintOf(a.data(), a.size()), FingerprintOf(c.data(), c.size()));
  const std::uint8_t zeros[2] = {0, 0};
  EXPECT_NE(FingerprintOf(zeros, 1), FingerprintOf(zeros, 2));
}

TEST(Reopen, TheBacklogKeepsUpToItsCountThenOnlyCountsUpToItsOwnBounds) {
  Backlog backlog({3, 1 << 20, 2, 1 << 20});
  const std::vector<std::uint8_t> d = DatagramTo("NAME", "x");
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(backlog.Keeping());
    backlog.Add(d.data(), d.size(), 100 + i);
  }
  EXPECT_FALSE(backlog.Keeping());
  EXPECT_TRUE(backlog.MayRead());
  backlog.Add(d.data(), d.size(), 200);
  backlog.Add(d.data(), d.size(), 201);
  EXPECT_FALSE(backlog.MayRead()) << "two counted at most";
  ASSERT_EQ(backlog.Size(), 5u);
  EXPECT_EQ(backlog.Kept(), 3u);
  EXPECT_EQ(backlog.Counted(), 2u);
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(backlog[i].kept, i < 3) << i;
  EXPECT_EQ(backlog[1].arrival, 101u);
  EXPECT_EQ(std::vector<std::uint8_t>(backlog.Data(backlog[2]), backlog.Data(backlog[2]) + d.size()), d);
  // A counted one says whether it is a datagram, and for whom.
  EXPECT_TRUE(backlog[4].wellFormed);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(backlog[4].destination), kNameSize),
            "NAME            ");
}

TEST(Reopen, TheBacklogKeepsWithinItsBytesAndNothingAfterTheFirstItCouldNotKeep) {
  const std::vector<std::uint8_t> small = DatagramTo("NAME", "s");
  const std::vector<std::uint8_t> big = DatagramTo("NAME", std::string(400, 'b'));
  // Room for the small one and not the big one after it.
  Backlog backlog({100, small.size() + 300, 100, 1 << 20});
  backlog.Add(small.data(), small.size(), 1);
  EXPECT_TRUE(backlog.Keeping());
  backlog.Add(big.data(), big.size(), 2);
  EXPECT_FALSE(backlog.Keeping());
  // A small one would fit, but is not kept: what is kept stays the start.
  backlog.Add(small.data(), small.size(), 3);
  EXPECT_EQ(backlog.Kept(), 1u);
  EXPECT_FALSE(backlog[1].kept);
  EXPECT_FALSE(backlog[2].kept);
  // The counted bytes are bounded too.
  Backlog bytes({0, 0, 100, big.size() + 1});
  EXPECT_TRUE(bytes.MayRead());
  bytes.Add(big.data(), big.size(), 1);
  EXPECT_TRUE(bytes.MayRead());
  bytes.Add(big.data(), big.size(), 2);
  EXPECT_FALSE(bytes.MayRead());
  EXPECT_EQ(bytes.Kept(), 0u);
  // What is not a datagram is counted as such.
  Backlog empty({0, 0, 10, 100});
  empty.Add(nullptr, 0, 1);
  EXPECT_FALSE(empty[0].wellFormed);
}

TEST(Reopen, TheBacklogMarksWhatWasReadAfterTheNewSocketOpened) {
  Backlog backlog({10, 1 << 20, 10, 1 << 20});
  for (const char* t : {"a", "b", "c"}) {
    const std::vector<std::uint8_t> d = DatagramTo("NAME", t);
    backlog.Add(d.data(), d.size(), 0);
    if (std::string(t) == "a") backlog.MarkOpened();
  }
  EXPECT_EQ(backlog.Opened(), 1u);
  EXPECT_EQ(backlog.Prints(backlog.Opened()), PrintsOf({"b", "c"}));
}

TEST(Reopen, WhatBothTookIsTheOldSocketsLastRunThatTheNewOneStartsWith) {
  EXPECT_EQ(Overlap(PrintsOf({"a", "b"}), PrintsOf({"c", "d"})), 0u);
  // The new socket's read cut short by its bound: the run goes on past it,
  // from the last place all of what it read stands in the old backlog.
  EXPECT_EQ(Overlap(PrintsOf({"p", "q", "d1", "d2", "d3", "d4"}), PrintsOf({"d1", "d2"}), true), 4u);
  EXPECT_EQ(Overlap(PrintsOf({"p", "q", "d1", "d2", "d3", "d4"}), PrintsOf({"d1", "d2"})), 0u);
  EXPECT_EQ(Overlap(PrintsOf({"d1", "x", "d1", "d2"}), PrintsOf({"d1"}), true), 2u);
  EXPECT_EQ(Overlap(PrintsOf({"a", "b"}), PrintsOf({"c"}), true), 0u);
  EXPECT_EQ(Overlap(PrintsOf({"a", "b", "c"}), PrintsOf({"b", "c", "d"})), 2u);
  EXPECT_EQ(Overlap(PrintsOf({"a", "b", "c"}), PrintsOf({"a", "b", "c", "d"})), 3u);
  EXPECT_EQ(Overlap(PrintsOf({"a", "b", "c"}), PrintsOf({"c"})), 1u);
  EXPECT_EQ(Overlap({}, PrintsOf({"a"})), 0u);
  EXPECT_EQ(Overlap(PrintsOf({"a"}), {}), 0u);
  // The new socket's first datagram alone, met earlier, is no run: the old
  // one's datagrams after it are not in the new one.
  EXPECT_EQ(Overlap(PrintsOf({"b", "x", "y"}), PrintsOf({"b", "c"})), 0u);
}

TEST(Reopen, ARepeatedDatagramBeforeTheRunDoesNotMoveIt) {
  // The old socket took X before the new one opened and X again (the same
  // bytes) after, then Y and Z; the new one took X, Y, Z. Matched on its
  // first datagram alone, the old one's first X would be taken for the
  // start of what both took, and lost.
  EXPECT_EQ(Overlap(PrintsOf({"X", "X", "Y", "Z"}), PrintsOf({"X", "Y", "Z"})), 3u);
  EXPECT_EQ(Overlap(PrintsOf({"X", "q", "X", "Y"}), PrintsOf({"X", "Y", "Z"})), 2u);
  // A run that repeats itself: the longest that matches to the end.
  EXPECT_EQ(Overlap(PrintsOf({"a", "X", "X"}), PrintsOf({"X", "X", "c"})), 2u);
  EXPECT_EQ(Overlap(PrintsOf({"X", "Y", "X", "Y", "X"}), PrintsOf({"X", "Y", "X", "Z"})), 3u);
}

}  // namespace
}  // namespace velknb
