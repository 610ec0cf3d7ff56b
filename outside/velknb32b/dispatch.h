// A datagram that reached the wrapper goes to its name: it completes the
// oldest pending receive, waits in the name's queue, or is counted.
// Internal to velknb32b.dll.
#pragma once

#include <cstddef>

#include "reopen.h"
#include "wrapper_state.h"

namespace velknb::dll {

// A datagram read from the LANA's socket at arrival. Takes the lock itself.
void Dispatch(Lana& lana, const UCHAR* payload, std::size_t size, const FILETIME& arrival);
// Under the lock: a datagram of a dead socket's backlog that is only
// counted, as dropped.
void CountDropped(Lana& lana, const velknb::Backlog::Entry& e);

}  // namespace velknb::dll
