// A LANA whose socket failed: its pending receives complete with the
// network-failure code, and its receive thread opens the socket again
// without losing what reached the machine. Internal to velknb32b.dll.
#pragma once

#include <vector>

#include "wrapper_state.h"

namespace velknb::dll {

// Under the lock: the LANA's socket failed.
void FailLana(Lana& lana);
// On the receive thread, without the lock: opens the failed LANA's socket
// again; buffer is the thread's read buffer. False when that failed, to be
// tried again later.
bool ReopenLana(Lana& lana, std::vector<UCHAR>& buffer);

}  // namespace velknb::dll
