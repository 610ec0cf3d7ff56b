// Where the wrapper's settings come from: velk_nbif.ini [NetBIOS] in the
// Windows directory, then the environment. Internal to velknb32b.dll.
#pragma once

namespace velknb::dll {

// Reads the settings into the Wrapper, once. Called under the lock.
void Configure();

}  // namespace velknb::dll
