// The display's lines in movable global memory blocks.
#include "win32/global_line_memory.h"

#include <windows.h>

namespace varnet {

trelm::LineMemory::Block GlobalLineMemory::Allocate(std::size_t bytes) {
  return GlobalAlloc(GMEM_MOVEABLE, bytes);
}
char* GlobalLineMemory::Lock(Block block) {
  return static_cast<char*>(GlobalLock(static_cast<HGLOBAL>(block)));
}
void GlobalLineMemory::Unlock(Block block) { GlobalUnlock(static_cast<HGLOBAL>(block)); }
void GlobalLineMemory::Free(Block block) { GlobalFree(static_cast<HGLOBAL>(block)); }

}  // namespace varnet
