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
// This file holds the exported functions and DllMain. The parts behind
// them: the shared state (wrapper_state.h), the settings, the reports and
// trace, requests and their completions, the names, datagrams to their
// names (dispatch), a LANA with its receive thread, and a failed LANA's
// socket opened again (lana_reopen).
#include "net/netbios_wrapper.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "completions.h"
#include "lana.h"
#include "names.h"
#include "net/nbdgm.h"
#include "report.h"
#include "wrapper_state.h"

namespace velknb::dll {

Wrapper* g_wrapper = nullptr;

}  // namespace velknb::dll

using namespace velknb::dll;

namespace {

// Deleted names remembered, so that what still comes for them is counted.
constexpr std::size_t kFormerNames = 16;

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
