// A LANA of the process: its network opened on first use, with the receive
// thread that reads its socket. Internal to velknb32b.dll.
#pragma once

#include "wrapper_state.h"

namespace velknb::dll {

// Under the lock: the LANA's network, opened on first use; null when it
// cannot be used.
Lana* OpenLana(UCHAR adapter);
// The LANA if it was opened, else null.
Lana* ExistingLana(UCHAR adapter);

}  // namespace velknb::dll
