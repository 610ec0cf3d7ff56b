// Our velknb32b.dll: the NetBIOS datagram service of the wrapper ABI over
// UDP multicast (transport.h, nbdgm.h). Each LANA the process uses gets a
// socket and a receive thread. The thread completes the oldest pending
// receive of the name a datagram is addressed to, or queues the datagram
// for that name (bounded) until the window thread posts a receive, so that
// nothing is lost while the window thread is busy. A socket that keeps
// failing is opened again, its pending receives completing with the
// network-failure code so that the caller resets; a completion the window
// cannot take now is posted again later, never freed under the caller.
//
// Moved out of this file so far, into files of their own: the shared state
// (wrapper_state.h), the settings, the reports and trace, requests and
// their completions, the names, and datagrams to their names (dispatch).
#include "net/netbios_wrapper.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <array>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "completions.h"
#include "dispatch.h"
#include "names.h"
#include "net/nbdgm.h"
#include "reopen.h"
#include "report.h"
#include "settings.h"
#include "transport.h"
#include "wrapper_state.h"

namespace velknb::dll {

Wrapper* g_wrapper = nullptr;

}  // namespace velknb::dll

using namespace velknb::dll;

namespace {

// Failed reads in a row after which a socket counts as dead.
constexpr int kDeadErrors = 10;
// A dead socket is opened again at most this often.
constexpr DWORD kReopenMs = 1000;
// After handing over a run of datagrams the receive thread naps this long,
// so that a busy network's datagrams are taken in runs: one wake of this
// thread and of the caller's window per run, not per datagram. The
// kernel's receive buffer holds what comes meanwhile.
constexpr DWORD kGatherMs = 5;
// Deleted names remembered, so that what still comes for them is counted.
constexpr std::size_t kFormerNames = 16;

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

// Datagrams read from the socket one after another and handed over
// together: the window is woken once for them, not once for each.
class Run {
 public:
  static constexpr std::size_t kMax = 64;
  bool Full() const { return sizes_.size() >= kMax; }
  // A datagram just read, stamped now.
  void Take(const UCHAR* data, std::size_t size) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    bytes_.insert(bytes_.end(), data, data + size);
    sizes_.push_back(size);
    arrivals_.push_back(now);
  }
  void DispatchAll(Lana& lana) {
    // One hold of the lock for the run: the caller's calls wait once.
    Locked lock;
    std::size_t at = 0;
    for (std::size_t i = 0; i < sizes_.size(); ++i) {
      Dispatch(lana, bytes_.data() + at, sizes_[i], arrivals_[i]);
      at += sizes_[i];
    }
    bytes_.clear();
    sizes_.clear();
    arrivals_.clear();
  }

 private:
  std::vector<UCHAR> bytes_;
  std::vector<std::size_t> sizes_;
  std::vector<FILETIME> arrivals_;
};

DWORD WINAPI ReceiveThread(LPVOID parameter) {
  auto& lana = *static_cast<Lana*>(parameter);
  std::vector<UCHAR> buffer(65536);
  Run run;
  int errors = 0;
  DWORD lastReopen = GetTickCount() - kReopenMs;
  while (InterlockedCompareExchange(&lana.stop, 0, 0) == 0) {
    if (InterlockedCompareExchange(&g_wrapper->undeliveredCount, 0, 0) != 0) {
      Locked lock;
      RetryUndelivered();
    }
    if (InterlockedCompareExchange(&lana.down, 0, 0) != 0) {
      if (GetTickCount() - lastReopen >= kReopenMs) {
        lastReopen = GetTickCount();
        if (ReopenLana(lana, buffer)) errors = 0;
      }
      Sleep(50);
      continue;
    }
    // Taken at once when there, else waited for once.
    const long got = InterlockedCompareExchange(&lana.playDead, 0, 0) != 0
                         ? -1
                         : lana.transport.Receive(buffer.data(), buffer.size(), 200);
    if (got > 0) {
      errors = 0;
      // What came meanwhile is read first, up to a run's worth, and the
      // run is handed over together.
      run.Take(buffer.data(), static_cast<std::size_t>(got));
      while (!run.Full()) {
        const long more = lana.transport.TryReceive(buffer.data(), buffer.size());
        if (more <= 0) break;  // an error shows again on the next read
        run.Take(buffer.data(), static_cast<std::size_t>(more));
      }
      const bool full = run.Full();
      run.DispatchAll(lana);
      // Unless the socket holds more than a run, the next ones are let
      // gather in the kernel's buffer.
      if (!full) Sleep(kGatherMs);
    } else if (got < 0) {
      // A failing socket looks like a quiet network unless it is noticed.
      if (++errors >= kDeadErrors) {
        errors = 0;
        Locked lock;
        FailLana(lana);
      } else {
        Sleep(50);
      }
    } else {
      errors = 0;
    }
  }
  return 0;
}

// Under the lock: the LANA's network, opened on first use.
Lana* OpenLana(UCHAR adapter) {
  Wrapper& w = *g_wrapper;
  Configure();
  if (w.lanas[adapter] != nullptr) return w.lanas[adapter];
  auto* lana = new Lana;
  lana->number = adapter;
  std::string error;
  if (!lana->transport.Open(w.transport, adapter, &error)) {
    // Settings that are refused (a group that is not multicast, an
    // interface that is not this machine's) and sockets that cannot be
    // opened make the LANA one that cannot be used: said in the report
    // file, and every call on it fails.
    char text[300];
    std::snprintf(text, sizeof text, "velknb32b: LANA %d cannot be used: %s", adapter,
                  error.c_str());
    Report(text);
    Trace("open %d failed: %s", adapter, error.c_str());
    delete lana;
    return nullptr;
  }
  // What the system granted of the receive buffer asked for bounds the
  // burst it holds while this thread is away; a datagram it drops never
  // reaches the wrapper and has no number, so the size is reported.
  char granted[160];
  std::snprintf(granted, sizeof granted,
                "velknb32b: LANA %d open, receive buffer %d bytes granted (%d asked for)", adapter,
                lana->transport.ReceiveBufferSize(), velknb::kReceiveBufferAsked);
  Report(granted);
  Trace("%s", granted);
  lana->thread = CreateThread(nullptr, 0, ReceiveThread, lana, 0, nullptr);
  if (lana->thread == nullptr) {
    delete lana;
    return nullptr;
  }
  SetThreadPriority(lana->thread, THREAD_PRIORITY_ABOVE_NORMAL);
  w.lanas[adapter] = lana;
  return lana;
}

Lana* ExistingLana(UCHAR adapter) { return g_wrapper->lanas[adapter]; }

}  // namespace

extern "C" {

UCHAR WINAPI NetReset(int /*sessions*/, int /*names*/, UCHAR adapter) {
  Locked lock;
  Trace("reset %d", adapter);
  Lana* lana = OpenLana(adapter);
  if (lana == nullptr) return NRC_BRIDGE;  // no usable LANA of that number
  return !lana->down ? NRC_GOODRET : NRC_SYSTEM;
}

void WINAPI NetCopyName(char* nameField, const char* text) {
  if (nameField == nullptr) return;
  velknb::PadName(text != nullptr ? text : "", reinterpret_cast<UCHAR*>(nameField));
  nameField[velknb::kNameSize] = '\0';
}

UCHAR WINAPI NetAddGroupName(char* nameField, UCHAR* nameNumber, UCHAR adapter) {
  if (nameField == nullptr || nameNumber == nullptr) return NRC_BUFLEN;
  Locked lock;
  Wrapper& w = *g_wrapper;
  Lana* lana = OpenLana(adapter);
  // A LANA whose socket failed takes no names until it is open again.
  if (lana == nullptr || lana->down) return NRC_SYSTEM;
  char text[velknb::kNameSize + 1];
  velknb::NameText(reinterpret_cast<UCHAR*>(nameField), text);
  if (w.addsSucceeded >= w.faults.addAfter && w.addsFailed < w.faults.addFailures) {
    ++w.addsFailed;
    Trace("add %s failed (injected) lana %d", text, adapter);
    return NRC_INUSE;
  }
  if (FindName(*lana, reinterpret_cast<UCHAR*>(nameField)) != nullptr) return NRC_DUPNAME;
  // Numbers go round, so that a late completion never meets a new name
  // under its old number.
  for (int step = 1; step <= kNames; ++step) {
    const int number = (lana->lastNumber + step - 1) % kNames + 1;
    Name& name = lana->names[number - 1];
    if (name.used) continue;
    name.used = true;
    std::memcpy(name.field, nameField, velknb::kNameSize);
    name.number = static_cast<UCHAR>(number);
    ForgetFormer(*lana, name.field);
    lana->lastNumber = name.number;
    *nameNumber = name.number;
    ++w.addsSucceeded;
    Trace("add %s %d lana %d", text, number, adapter);
    return NRC_GOODRET;
  }
  return NRC_NAMTFUL;
}

int WINAPI NetDeleteName(char* nameField, UCHAR nameNumber, UCHAR adapter) {
  Locked lock;
  Lana* lana = ExistingLana(adapter);
  Name* name = lana != nullptr ? FindNumber(*lana, nameNumber) : nullptr;
  if (name == nullptr || nameField == nullptr ||
      std::memcmp(name->field, nameField, velknb::kNameSize) != 0) {
    Trace("delete %d failed lana %d", nameNumber, adapter);
    return NRC_ILLNN;
  }
  // Pending receives are released, not completed: after the delete no
  // completion for the name reaches the window.
  for (Request* r : name->pending) DeleteRequest(r);
  SettleUndelivered(*name);
  // What waited for the name is lost to the caller: counted as such.
  g_wrapper->stats.queued -= static_cast<DWORD>(name->queue.size());
  g_wrapper->stats.unclaimed += static_cast<DWORD>(name->queue.size());
  g_wrapper->unclaimedReceived += static_cast<DWORD>(name->queue.size());
  if (!IsFormer(*lana, name->field)) {
    if (lana->former.size() == kFormerNames) lana->former.pop_front();
    std::array<UCHAR, velknb::kNameSize> field;
    std::memcpy(field.data(), name->field, velknb::kNameSize);
    lana->former.push_back(field);
  }
  name->pending.clear();
  name->queue.clear();
  name->used = false;
  char text[velknb::kNameSize + 1];
  velknb::NameText(name->field, text);
  Trace("delete %s %d lana %d", text, nameNumber, adapter);
  return NRC_GOODRET;
}

UCHAR WINAPI NetReceiveDG(HWND window, WORD length, UCHAR nameNumber, NCB** request,
                          UCHAR adapter) {
  if (request == nullptr) return NRC_BUFLEN;
  *request = nullptr;
  Request* r = NewRequest(NCBDGRECV, window, length, adapter);
  if (r == nullptr) return NRC_NORES;
  *request = &r->ncb;
  Locked lock;
  Wrapper& w = *g_wrapper;
  Lana* lana = ExistingLana(adapter);
  Name* name = lana != nullptr ? FindNumber(*lana, nameNumber) : nullptr;
  UCHAR code = NRC_PENDING;
  if (lana == nullptr) {
    code = NRC_ENVNOTDEF;
  } else if (name == nullptr) {
    code = NRC_ILLNN;
  } else if (w.postsSucceeded >= w.faults.postAfter && w.postsFailed < w.faults.postFailures) {
    ++w.postsFailed;
    code = NRC_NORES;
  }
  if (code != NRC_PENDING) return SetOutcome(r, code);
  ++w.postsSucceeded;
  r->ncb.ncb_num = nameNumber;
  if (w.receiveFaultDue) {
    DeliverReceiveFault(r);
  } else if (!name->queue.empty()) {
    Name::Waiting datagram = std::move(name->queue.front());
    name->queue.pop_front();
    --w.stats.queued;
    CompleteReceive(r, *name, datagram.data.data(), datagram.data.size(), datagram.arrival,
                    datagram.sequence);
    NoteDelivery(*lana);
  } else {
    name->pending.push_back(r);
    r->waiting = name;
  }
  return NRC_PENDING;
}

UCHAR WINAPI NetSendDG(HWND window, const void* data, WORD length, const char* destName,
                       UCHAR nameNumber, NCB** request, UCHAR adapter) {
  if (request == nullptr) return NRC_BUFLEN;
  *request = nullptr;
  Request* r = NewRequest(NCBDGSEND, window, 0, adapter);
  if (r == nullptr) return NRC_NORES;
  *request = &r->ncb;
  r->ncb.ncb_buffer = static_cast<PUCHAR>(const_cast<void*>(data));
  r->ncb.ncb_length = length;
  r->ncb.ncb_num = nameNumber;

  velknb::Datagram d;
  UCHAR payload[velknb::kMaxDatagram];
  // Under the lock throughout: the receive thread may replace the LANA's
  // socket after a failure.
  Locked lock;
  Lana* lana = ExistingLana(adapter);
  Name* name = lana != nullptr ? FindNumber(*lana, nameNumber) : nullptr;
  UCHAR code = NRC_PENDING;
  if (length > velknb::kMaxUserData || (length > 0 && data == nullptr) || destName == nullptr) {
    code = NRC_BUFLEN;
  } else if (lana == nullptr) {
    code = NRC_ENVNOTDEF;
  } else if (name == nullptr) {
    code = NRC_ILLNN;
  }
  if (code != NRC_PENDING) return SetOutcome(r, code);
  char dest[velknb::kNameSize + 1] = {};
  std::strncpy(dest, destName, velknb::kNameSize);
  velknb::PadName(dest, d.destination);
  std::memcpy(d.source, name->field, velknb::kNameSize);
  std::memcpy(r->ncb.ncb_callname, d.destination, velknb::kNameSize);
  std::memcpy(d.sourceIp, lana->transport.InterfaceBytes(), 4);
  d.sourcePort = lana->transport.Port();
  d.id = static_cast<std::uint16_t>(InterlockedIncrement(&g_wrapper->nextId));
  d.data = static_cast<const std::uint8_t*>(data);
  d.length = length;
  const std::size_t size = velknb::BuildDatagram(d, payload, sizeof payload);
  // The datagram leaves now; its completion follows as a message.
  Deliver(r, lana->transport.Send(payload, size) ? NRC_GOODRET : NRC_SYSTEM);
  return NRC_PENDING;
}

void WINAPI NetNcbFree(NCB* request) {
  if (request == nullptr || IsBadReadPtr(request, sizeof(Request))) return;
  auto* r = reinterpret_cast<Request*>(request);
  Locked lock;
  if (r->magic != kRequestMagic) return;  // not one of ours, or freed already
  // Freed before its completion could be posted: it is not posted later.
  if (r->undelivered) {
    auto& list = g_wrapper->undelivered;
    for (auto it = list.begin(); it != list.end(); ++it) {
      if (*it == r) {
        list.erase(it);
        InterlockedDecrement(&g_wrapper->undeliveredCount);
        break;
      }
    }
  }
  // A receive freed while still pending leaves its name's list.
  if (Name* name = r->waiting; name != nullptr) {
    for (auto it = name->pending.begin(); it != name->pending.end(); ++it) {
      if (*it == r) {
        name->pending.erase(it);
        break;
      }
    }
  }
  DeleteRequest(r);
}

void WINAPI NetRetCode(const char* label, UCHAR code) {
  char text[300];
  std::snprintf(text, sizeof text, "%s - NetBIOS return code 0x%02X: %s",
                label != nullptr ? label : "", code, ReturnCodeText(code));
  Report(text);
}

void WINAPI NetCmdCode(const char* label, UCHAR code) {
  char text[300];
  std::snprintf(text, sizeof text, "%s - unexpected NetBIOS command code 0x%02X",
                label != nullptr ? label : "", code);
  Report(text);
}

BOOL WINAPI VelknbArrival(const NCB* request, FILETIME* arrival, DWORD* sequence) {
  if (request == nullptr || IsBadReadPtr(request, sizeof(Request))) return FALSE;
  const auto* r = reinterpret_cast<const Request*>(request);
  Locked lock;
  if (r->magic != kRequestMagic || !r->stamped) return FALSE;
  if (arrival != nullptr) *arrival = r->arrival;
  if (sequence != nullptr) *sequence = r->sequence;
  return TRUE;
}

void WINAPI VelknbStats(VELKNB_STATS* stats) {
  if (stats == nullptr) return;
  Locked lock;
  *stats = g_wrapper->stats;
  // The last of these lines is what the caller's final figures were made
  // of: datagrams that come after it (to names already deleted) are not.
  Trace("stats received=%lu unclaimed=%lu of them received=%lu", stats->received,
        stats->unclaimed, g_wrapper->unclaimedReceived);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    g_wrapper = new Wrapper;
    InitializeCriticalSection(&g_wrapper->lock);
  } else if (reason == DLL_PROCESS_DETACH && g_wrapper != nullptr) {
    const VELKNB_STATS& s = g_wrapper->stats;
    Trace("end received=%lu delivered=%lu queued=%lu dropped=%lu malformed=%lu unclaimed=%lu "
          "reopened=%lu",
          s.received, s.delivered, s.queued, s.dropped, s.malformed, s.unclaimed, s.reopened);
    // The receive threads are gone at process end; the sockets close with
    // the process.
  }
  return TRUE;
}

}  // extern "C"
