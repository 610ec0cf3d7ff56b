// A failed LANA's socket opened again (lana_reopen.h): the old socket's
// backlog read within bounds, the new one joined first, and what both took
// handed over once. The portable decisions are reopen.h's.
#include "lana_reopen.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "completions.h"
#include "dispatch.h"
#include "reopen.h"
#include "report.h"
#include "transport.h"

namespace velknb::dll {

// Under the lock: the LANA's socket failed. Every pending receive
// completes with the network-failure code, so that the caller removes its
// names and registers them again.
void FailLana(Lana& lana) {
  InterlockedExchange(&lana.down, 1);
  Trace("lana %d failed", lana.number);
  for (Name& name : lana.names) {
    while (name.used && !name.pending.empty()) {
      Request* r = TakePending(name);
      r->ncb.ncb_length = 0;
      r->ncb.ncb_num = name.number;
      Deliver(r, NRC_BRIDGE);
    }
  }
}

namespace {

FILETIME FileTimeOf(std::uint64_t value) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(value);
  t.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return t;
}

std::uint64_t NowValue() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return static_cast<std::uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
}

// Test aid (VELKNB_FAULTS hold=N): a reopening stops before its step until
// the test lets it go. It sets the event velknb_step_<process id>_<step>
// and waits for velknb_go_<process id>_<step>, ten seconds at most, so
// that a test that never answers cannot stop reception for good.
void ReopenStep(int step, bool hold) {
  if (!hold) return;
  char name[64];
  std::snprintf(name, sizeof name, "velknb_step_%lu_%d", GetCurrentProcessId(), step);
  HANDLE reached = CreateEventA(nullptr, FALSE, FALSE, name);
  std::snprintf(name, sizeof name, "velknb_go_%lu_%d", GetCurrentProcessId(), step);
  HANDLE go = CreateEventA(nullptr, FALSE, FALSE, name);
  if (reached != nullptr && go != nullptr) {
    SetEvent(reached);
    WaitForSingleObject(go, 10000);
  }
  if (reached != nullptr) CloseHandle(reached);
  if (go != nullptr) CloseHandle(go);
}

// Reads a socket's waiting datagrams into the backlog while it takes them
// (while it keeps them, with keptOnly).
void ReadBacklog(velknb::Transport& socket, velknb::Backlog& backlog, std::vector<UCHAR>& buffer,
                 bool keptOnly) {
  while ((keptOnly ? backlog.Keeping() : backlog.MayRead()) && socket.HasWaiting()) {
    const long got = socket.TryReceive(buffer.data(), buffer.size());
    if (got < 0) break;
    const std::size_t size = std::min(static_cast<std::size_t>(got), buffer.size());
    backlog.Add(buffer.data(), size, NowValue());
  }
}

}  // namespace

// The receive thread opens a failed LANA's socket again. The new socket
// joins before the old one leaves the group, so that nothing that reached
// the machine is missed. The old one's backlog is read before the new one
// opens (so that it has room for what comes meanwhile) and after the leave,
// and handed over before what the new one took; each datagram is stamped
// when it is read from the old socket: when it reached the wrapper, since
// the system does not say when it came.
//
// What both sockets hold (what came after the new one opened) is taken
// from the new one only: it is the run of datagrams at the end of the old
// one's backlog that the new one's first datagrams repeat, matched whole
// (velknb::Overlap), so that a sender repeating a datagram cannot make the
// old one's datagrams before the run count as taken. The old one may go on
// taking the group's datagrams after it left (under Wine on Linux it does,
// while any socket of the machine is in the group): the run is then
// longer, and it is read until it has caught up.
//
// The backlog is bounded: it is kept up to what a name's queue takes
// (VELKNB_QUEUE) and what the socket's receive buffer holds, in bytes.
// What the old socket holds beyond that is read on, only to be counted as
// dropped (numbered, so that the numbers show the gap), up to as much as
// its receive buffer can hold again: at the opening it held no more than
// that, and whatever it takes after the opening the new one holds too.
bool ReopenLana(Lana& lana, std::vector<UCHAR>& buffer) {
  Wrapper& w = *g_wrapper;
  velknb::TransportSettings settings;
  velknb::BacklogBounds bounds;
  bool hold = false;
  {
    Locked lock;
    if (w.reopensFailed < w.faults.deadReopenFailures) {
      ++w.reopensFailed;
      Trace("reopen %d failed (injected)", lana.number);
      return false;
    }
    settings = w.transport;
    if (w.faults.reopenHolds > 0) {
      --w.faults.reopenHolds;
      hold = true;
    }
    const int granted = lana.transport.ReceiveBufferSize();
    const std::size_t buffered =
        static_cast<std::size_t>(granted > 0 ? granted : velknb::kReceiveBufferAsked);
    bounds.keptDatagrams = w.queueBound;
    bounds.keptBytes = buffered;
    // Each of our datagrams has its header, and a receive buffer charges
    // at least the bytes it holds.
    bounds.countedDatagrams = buffered / velknb::kHeaderSize;
    bounds.countedBytes = buffered;
  }
  velknb::Backlog backlog(bounds);
  const auto handOver = [&](std::size_t end, std::size_t* counted) {
    for (std::size_t i = 0; i < end; ++i) {
      const velknb::Backlog::Entry& e = backlog[i];
      if (e.kept) {
        Dispatch(lana, backlog.Data(e), e.print.size, FileTimeOf(e.arrival));
      } else {
        CountDropped(lana, e);
        ++*counted;
      }
    }
  };
  // What the old socket holds came before the new one opens: it is read
  // first, so that the old one has room again and takes what comes while
  // the new one opens. (Full, it would miss what the new one takes first,
  // and what both then took would not be one run.)
  ReopenStep(1, hold);
  ReadBacklog(lana.transport, backlog, buffer, true);
  backlog.MarkOpened();
  ReopenStep(2, hold);
  velknb::Transport fresh;
  std::string error;
  if (!fresh.Open(settings, lana.number, &error)) {
    Trace("reopen %d failed: %s", lana.number, error.c_str());
    Locked lock;
    std::size_t counted = 0;
    handOver(backlog.Size(), &counted);
    return false;
  }
  ReopenStep(3, hold);
  const bool left = lana.transport.LeaveGroup();
  ReadBacklog(lana.transport, backlog, buffer, false);
  // The new socket's first datagrams, as many as the old one read after
  // the opening (what both took is no longer than that), within the bytes
  // the old one's backlog is kept in. They are handed over here, in order.
  struct Taken {
    std::size_t at;
    std::size_t size;
    FILETIME arrival;
  };
  std::vector<UCHAR> takenBytes;
  std::vector<Taken> taken;
  std::vector<velknb::Fingerprint> takenPrints;
  const std::size_t after = backlog.Size() - backlog.Opened();
  while (taken.size() < after && takenBytes.size() < bounds.keptBytes && fresh.HasWaiting()) {
    const long got = fresh.TryReceive(buffer.data(), buffer.size());
    if (got < 0) break;
    const std::size_t size = std::min(static_cast<std::size_t>(got), buffer.size());
    taken.push_back({takenBytes.size(), size, FileTimeOf(NowValue())});
    takenBytes.insert(takenBytes.end(), buffer.data(), buffer.data() + size);
    takenPrints.push_back(velknb::FingerprintOf(buffer.data(), size));
  }
  // Stopped by the bytes with more waiting: the run may go on past it.
  const bool cut = takenBytes.size() >= bounds.keptBytes && taken.size() < after && fresh.HasWaiting();
  const std::size_t both = velknb::Overlap(backlog.Prints(backlog.Opened()), takenPrints, cut);
  {
    Locked lock;
    lana.transport.Swap(fresh);
    InterlockedExchange(&lana.down, 0);
    ++w.stats.reopened;
    std::size_t counted = 0;
    handOver(backlog.Size() - both, &counted);
    for (const Taken& t : taken) Dispatch(lana, takenBytes.data() + t.at, t.size, t.arrival);
    Trace("lana %d opened again: %lu read from the old socket, %lu of them counted as dropped, "
          "%lu taken by both%s",
          lana.number, static_cast<unsigned long>(backlog.Size()),
          static_cast<unsigned long>(counted), static_cast<unsigned long>(both),
          left ? "" : ", the old socket could not leave the group");
  }
  InterlockedExchange(&lana.playDead, 0);
  return true;
}

}  // namespace velknb::dll
