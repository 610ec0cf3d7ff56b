// Requests and their completions: a request's life, the completion message
// posted to the caller's window (posted again later while the window cannot
// take it), a receive taking its datagram, and the receive fault of
// VELKNB_FAULTS recv=. Internal to velknb32b.dll.
#pragma once

#include <cstddef>

#include "wrapper_state.h"

namespace velknb::dll {

// A new request, pending, with a buffer of length bytes; null when there
// is no memory for it.
Request* NewRequest(UCHAR command, HWND window, WORD length, UCHAR adapter);
void DeleteRequest(Request* r);
// A request's outcome, in both of its fields; returns code.
UCHAR SetOutcome(Request* r, UCHAR code);

// The rest under the lock.
// Hands a finished request to its window.
void Deliver(Request* r, UCHAR code);
// Posts the completions still to be posted, oldest first.
void RetryUndelivered();
// Settles the completions still to be posted of a name being deleted.
void SettleUndelivered(const Name& name);
// A receive of the name takes a datagram.
void CompleteReceive(Request* r, const Name& name, const UCHAR* data, std::size_t length,
                     const FILETIME& arrival, DWORD sequence);
// The oldest pending receive of a name leaves its list.
Request* TakePending(Name& name);
// The due receive fault completes a receive.
void DeliverReceiveFault(Request* r);
// After a delivery on the LANA: the receive fault falls due, and fires.
void NoteDelivery(Lana& lana);

}  // namespace velknb::dll
