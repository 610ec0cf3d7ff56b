// Fault injection of the wrapper library, set only by the environment
// variable VELKNB_FAULTS: a list of items separated by ',' or ';':
//   add=F@S     after S successful NetAddGroupName calls, the next F fail
//   post=F@S    after S successful NetReceiveDG posts, the next F fail
//   recv=C@N    once N datagrams were delivered, one receive completes with
//               return code C (0x17 or 0x23, say) and no data
//   dead=F@N    once N datagrams were received, the LANA's socket fails as a
//               dead one does, until the wrapper opens it again; the first F
//               of those openings fail too
//   deliver=F@N after N completion messages were posted, the next F posts
//               fail, as when the window's message queue is full
//   hold=N      the first N openings again of a dead socket stop before each
//               of their steps until the test lets them go (see
//               ReopenStep in lana_reopen.cpp): 1 reading the old socket, 2
//               opening the new one, 3 the old one leaving the group
// Portable: no <windows.h>.
#pragma once

#include <cstdint>

namespace velknb {

struct Faults {
  long addFailures = 0;
  long addAfter = 0;
  long postFailures = 0;
  long postAfter = 0;
  int receiveCode = 0;  // 0: no receive fault
  long receiveAfter = 0;
  long deadReopenFailures = 0;
  long deadAfter = -1;  // negative: no dead socket
  long deliverFailures = 0;
  long deliverAfter = 0;
  long reopenHolds = 0;
};

// Reads the list; items it does not understand are ignored and counted.
// Returns the count of such items.
int ParseFaults(const char* text, Faults& faults);

}  // namespace velknb
