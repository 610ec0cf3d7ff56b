// Datagrams to their names (dispatch.h): numbered in the LANA's count when
// they are for a name of the process, counted when they are lost to it.
#include "dispatch.h"

#include <vector>

#include "completions.h"
#include "net/nbdgm.h"
#include "names.h"

namespace velknb::dll {
namespace {

// Under the lock: a well-formed datagram for destination reached the
// wrapper. One for a name of the process is numbered, and its name
// returned; one for a name the process had is counted as unclaimed; any
// other is another process's.
Name* Admit(Lana& lana, const UCHAR* destination, DWORD* sequence) {
  Wrapper& w = *g_wrapper;
  Name* name = FindName(lana, destination);
  if (name == nullptr) {
    // For a name this process had: lost to it, and counted.
    if (IsFormer(lana, destination)) ++w.stats.unclaimed;
    return nullptr;  // else for another process
  }
  ++w.stats.received;
  *sequence = ++lana.sequence;
  if (!w.deadFired && w.faults.deadAfter >= 0 &&
      static_cast<long>(w.stats.received) > w.faults.deadAfter) {
    w.deadFired = true;
    InterlockedExchange(&lana.playDead, 1);
  }
  return name;
}

}  // namespace

// A datagram read from the LANA's socket at arrival.
void Dispatch(Lana& lana, const UCHAR* payload, std::size_t size, const FILETIME& arrival) {
  Wrapper& w = *g_wrapper;
  velknb::Datagram d;
  const velknb::ParseResult result = velknb::ParseDatagram(payload, size, d);
  Locked lock;
  if (result != velknb::ParseResult::Ok) {
    ++w.stats.malformed;
    return;
  }
  DWORD sequence = 0;
  Name* name = Admit(lana, d.destination, &sequence);
  if (name == nullptr) return;
  if (!name->pending.empty()) {
    Request* r = TakePending(*name);
    CompleteReceive(r, *name, d.data, d.length, arrival, sequence);
    NoteDelivery(lana);
  } else if (name->queue.size() < w.queueBound) {
    const std::size_t kept = d.length < velknb::kMaxUserData ? d.length : velknb::kMaxUserData;
    name->queue.push_back({std::vector<UCHAR>(d.data, d.data + kept), arrival, sequence});
    ++w.stats.queued;
  } else {
    ++w.stats.dropped;
  }
}

// Under the lock: a datagram of a dead socket's backlog read beyond what
// its reopening keeps. Numbered as any other, and counted as dropped.
void CountDropped(Lana& lana, const velknb::Backlog::Entry& e) {
  Wrapper& w = *g_wrapper;
  if (!e.wellFormed) {
    ++w.stats.malformed;
    return;
  }
  DWORD sequence = 0;
  if (Admit(lana, e.destination, &sequence) != nullptr) ++w.stats.dropped;
}

}  // namespace velknb::dll
