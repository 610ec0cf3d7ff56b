// The state velknb32b.dll's parts share: a request and its buffer, a
// name with its pending receives and waiting datagrams, a LANA with its
// socket and receive thread, and the one Wrapper that holds them with the
// settings, the counters and the lock. Read and written under the lock
// (Locked) unless a member says otherwise. Internal to the library.
#pragma once

#include <array>
#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "faults.h"
#include "net/nbdgm.h"
#include "net/netbios_wrapper.h"
#include "transport.h"

namespace velknb::dll {

constexpr DWORD kRequestMagic = 0x424E4C56;  // "VLNB"
constexpr std::size_t kDefaultQueueBound = 4096;
constexpr int kNames = 254;  // name numbers 1..254

struct Name;

// A request and, for a receive, its buffer. NCB first: callers see an NCB*.
struct Request {
  NCB ncb;
  DWORD magic;
  HWND window;
  Name* waiting;  // the name whose pending receives it is among
  bool undelivered;  // its completion message is still to be posted
  // When its datagram reached the wrapper, and its place in the LANA's count.
  bool stamped;
  FILETIME arrival;
  DWORD sequence;
  UCHAR data[1];
};

struct Name {
  bool used = false;
  UCHAR field[velknb::kNameSize] = {};
  UCHAR number = 0;
  std::deque<Request*> pending;
  // Datagrams waiting for a receive, with when they arrived and their place
  // in the LANA's count.
  struct Waiting {
    std::vector<UCHAR> data;
    FILETIME arrival;
    DWORD sequence;
  };
  std::deque<Waiting> queue;
};

struct Lana {
  UCHAR number = 0;
  velknb::Transport transport;
  HANDLE thread = nullptr;
  volatile LONG stop = 0;
  Name names[kNames];
  UCHAR lastNumber = 0;
  // The socket failed; its pending receives were completed, and the
  // receive thread opens it again. Set under the lock; the receive thread
  // reads it without.
  volatile LONG down = 0;
  // Test aid: the socket fails as a dead one does (VELKNB_FAULTS dead=).
  volatile LONG playDead = 0;
  std::deque<std::array<UCHAR, velknb::kNameSize>> former;
  // Datagrams received on this LANA for the process's names, dropped ones
  // included: a gap in the numbers of those delivered is a loss.
  DWORD sequence = 0;
};

struct Wrapper {
  CRITICAL_SECTION lock;
  bool configured = false;
  velknb::TransportSettings transport;
  std::size_t queueBound = kDefaultQueueBound;
  std::string reportFile;
  std::string traceFile;
  velknb::Faults faults;
  long addsSucceeded = 0, addsFailed = 0;
  long postsSucceeded = 0, postsFailed = 0;
  bool receiveFaultDue = false, receiveFaultFired = false;
  bool deadFired = false;
  long reopensFailed = 0;
  long completionsPosted = 0, completionsRefused = 0;
  // Completions whose message could not be posted yet.
  std::vector<Request*> undelivered;
  volatile LONG undeliveredCount = 0;
  Lana* lanas[256] = {};
  LONG nextId = 0;
  VELKNB_STATS stats = {};
  // Of the unclaimed, the datagrams that had been received (numbered)
  // first: what waited for a name, or to be posted, when it was deleted.
  DWORD unclaimedReceived = 0;
};

// Made when the library is loaded (DllMain, velknb32b.cpp).
extern Wrapper* g_wrapper;

class Locked {
 public:
  Locked() { EnterCriticalSection(&g_wrapper->lock); }
  ~Locked() { LeaveCriticalSection(&g_wrapper->lock); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};

}  // namespace velknb::dll
