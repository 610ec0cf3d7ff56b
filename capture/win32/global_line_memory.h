// The display's line memory on Windows: each line in its own movable
// global memory block.
#pragma once

#include <cstddef>

#include "text_view.h"

namespace varnet {

class GlobalLineMemory : public trelm::LineMemory {
 public:
  Block Allocate(std::size_t bytes) override;
  char* Lock(Block block) override;
  void Unlock(Block block) override;
  void Free(Block block) override;
};

}  // namespace varnet
