// Requests and their completions (completions.h). A completion the window
// cannot take now waits, in order, to be posted again; the caller holds the
// request throughout and frees it as always.
#include "completions.h"

#include <cstring>

namespace velknb::dll {

Request* NewRequest(UCHAR command, HWND window, WORD length, UCHAR adapter) {
  auto* r = static_cast<Request*>(
      HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Request) + length));
  if (r == nullptr) return nullptr;
  r->magic = kRequestMagic;
  r->window = window;
  r->ncb.ncb_command = command;
  r->ncb.ncb_retcode = NRC_PENDING;
  r->ncb.ncb_cmd_cplt = NRC_PENDING;
  r->ncb.ncb_lana_num = adapter;
  r->ncb.ncb_buffer = r->data;
  r->ncb.ncb_length = length;
  return r;
}

void DeleteRequest(Request* r) {
  r->magic = 0;
  HeapFree(GetProcessHeap(), 0, r);
}

// A request's outcome, in both of its fields.
UCHAR SetOutcome(Request* r, UCHAR code) {
  r->ncb.ncb_retcode = code;
  r->ncb.ncb_cmd_cplt = code;
  return code;
}

namespace {

// Under the lock: posts a request's completion message; false when the
// window did not take it.
bool PostCompletion(Request* r) {
  Wrapper& w = *g_wrapper;
  if (w.completionsPosted >= w.faults.deliverAfter &&
      w.completionsRefused < w.faults.deliverFailures) {
    ++w.completionsRefused;
    return false;
  }
  if (!PostMessageA(r->window, WM_NETBIOS_COMPLETE, r->ncb.ncb_command,
                    reinterpret_cast<LPARAM>(&r->ncb))) {
    return false;
  }
  ++w.completionsPosted;
  return true;
}

}  // namespace

// Under the lock: hands a finished request to its window. The caller holds
// the request, so one whose message the window cannot take now (its queue
// full, say) is never freed here: its message is posted again later, with
// its datagram, and the caller frees it as always.
// Completions reach the window in the order they finished: while older
// ones wait to be posted again, a new one waits behind them.
void Deliver(Request* r, UCHAR code) {
  SetOutcome(r, code);
  if (g_wrapper->undelivered.empty() && PostCompletion(r)) return;
  r->undelivered = true;
  g_wrapper->undelivered.push_back(r);
  InterlockedIncrement(&g_wrapper->undeliveredCount);
}

// Under the lock: the completions still to be posted, oldest first, up to
// the first the window refuses again.
void RetryUndelivered() {
  Wrapper& w = *g_wrapper;
  std::size_t posted = 0;
  while (posted < w.undelivered.size() && PostCompletion(w.undelivered[posted])) {
    w.undelivered[posted]->undelivered = false;
    InterlockedDecrement(&w.undeliveredCount);
    ++posted;
  }
  w.undelivered.erase(w.undelivered.begin(), w.undelivered.begin() + static_cast<long>(posted));
}

// Under the lock: a name is deleted. Its completions that still wait to be
// posted go now if the window takes them; those it refuses never reach it
// (no completion for the name follows its delete), so they are released
// and their datagrams counted as lost to the caller.
void SettleUndelivered(const Name& name) {
  Wrapper& w = *g_wrapper;
  RetryUndelivered();
  std::size_t kept = 0;
  for (Request* r : w.undelivered) {
    if (r->ncb.ncb_command == NCBDGRECV && r->ncb.ncb_num == name.number) {
      if (r->ncb.ncb_retcode == NRC_GOODRET) {
        ++w.stats.unclaimed;
        ++w.unclaimedReceived;
      }
      InterlockedDecrement(&w.undeliveredCount);
      DeleteRequest(r);
    } else {
      w.undelivered[kept++] = r;
    }
  }
  w.undelivered.resize(kept);
}

// Under the lock: a receive of the name takes a datagram.
void CompleteReceive(Request* r, const Name& name, const UCHAR* data, std::size_t length,
                     const FILETIME& arrival, DWORD sequence) {
  r->stamped = true;
  r->arrival = arrival;
  r->sequence = sequence;
  // The buffer holds what was posted; the rest of the datagram is cut.
  const std::size_t posted = r->ncb.ncb_length;
  const std::size_t copied = length < posted ? length : posted;
  if (copied > 0) std::memcpy(r->data, data, copied);
  r->ncb.ncb_length = static_cast<WORD>(copied);
  r->ncb.ncb_num = name.number;
  ++g_wrapper->stats.delivered;
  Deliver(r, NRC_GOODRET);
}

// Under the lock: the oldest pending receive of a name leaves its list.
Request* TakePending(Name& name) {
  Request* r = name.pending.front();
  name.pending.pop_front();
  r->waiting = nullptr;
  return r;
}

// Under the lock: the due receive fault completes a receive.
void DeliverReceiveFault(Request* r) {
  Wrapper& w = *g_wrapper;
  w.receiveFaultDue = false;
  w.receiveFaultFired = true;
  Deliver(r, static_cast<UCHAR>(w.faults.receiveCode));
}

namespace {

// Under the lock: the receive fault, once it is due, takes the oldest
// pending receive of the LANA.
void FireReceiveFault(Lana& lana) {
  if (!g_wrapper->receiveFaultDue) return;
  for (Name& name : lana.names) {
    if (!name.used || name.pending.empty()) continue;
    Request* r = TakePending(name);
    r->ncb.ncb_length = 0;
    r->ncb.ncb_num = name.number;
    DeliverReceiveFault(r);
    return;
  }
}

}  // namespace

void NoteDelivery(Lana& lana) {
  Wrapper& w = *g_wrapper;
  if (w.faults.receiveCode != 0 && !w.receiveFaultFired && !w.receiveFaultDue &&
      static_cast<long>(w.stats.delivered) >= w.faults.receiveAfter) {
    w.receiveFaultDue = true;
  }
  FireReceiveFault(lana);
}

}  // namespace velknb::dll
