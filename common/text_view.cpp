#include "text_view.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace trelm {

namespace {
class Heap : public LineMemory {
 public:
  Block Allocate(std::size_t bytes) override { return std::malloc(bytes); }
  char* Lock(Block block) override { return static_cast<char*>(block); }
  void Unlock(Block) override {}
  void Free(Block block) override { std::free(block); }
};
}  // namespace

LineMemory& HeapLineMemory() {
  static Heap heap;
  return heap;
}

LineStore::~LineStore() {
  Clear();
  if (slots_[kCapacity] != nullptr) memory_.Free(slots_[kCapacity]);
}

void LineStore::Add(const char* text) {
  // The line the previous add pushed out of a full store goes now.
  if (count_ == kCapacity && slots_[kCapacity] != nullptr) {
    memory_.Free(slots_[kCapacity]);
    slots_[kCapacity] = nullptr;
  }
  for (std::size_t i = count_; i > 0; --i) slots_[i] = slots_[i - 1];
  if (count_ < kCapacity) ++count_;
  const std::size_t length = std::strlen(text);
  longest_ = std::max(longest_, length);
  slots_[0] = memory_.Allocate(length + 1);
  if (slots_[0] == nullptr) return;
  char* bytes = memory_.Lock(slots_[0]);
  if (bytes == nullptr) {
    memory_.Free(slots_[0]);
    slots_[0] = nullptr;
    return;
  }
  std::memcpy(bytes, text, length + 1);
  memory_.Unlock(slots_[0]);
}

void LineStore::Clear() {
  for (std::size_t i = 0; i < count_; ++i) {
    if (slots_[i] != nullptr) memory_.Free(slots_[i]);
    slots_[i] = nullptr;
  }
  count_ = 0;
}

const char* LineStore::Lock(std::size_t index) const {
  if (index >= count_ || slots_[index] == nullptr) return nullptr;
  return memory_.Lock(slots_[index]);
}

void LineStore::Unlock(std::size_t index) const {
  if (index < count_ && slots_[index] != nullptr) memory_.Unlock(slots_[index]);
}

std::string LineStore::Text(std::size_t index) const {
  const char* text = Lock(index);
  if (text == nullptr) return std::string();
  std::string copy = text;
  Unlock(index);
  return copy;
}

std::size_t LineStore::BlocksInUse() const {
  std::size_t n = 0;
  for (LineMemory::Block block : slots_) n += block != nullptr;
  return n;
}

void TextView::SetMetrics(int lineHeight, int charWidth) {
  lineHeight_ = lineHeight > 0 ? lineHeight : 1;
  charWidth_ = charWidth > 0 ? charWidth : 1;
}

void TextView::SetClientSize(int width, int height) {
  clientWidth_ = std::max(width, 0);
  clientHeight_ = std::max(height, 0);
}

int TextView::LiveBottom() const {
  return std::max(0, static_cast<int>(store_.Count()) - Rows());
}

int TextView::LiveHorizontalLimit() const {
  return std::max(0, static_cast<int>(store_.Longest()) - Columns());
}

void TextView::Recompute() {
  const int count = static_cast<int>(store_.Count());
  const bool atNewest = vpos_ == std::max(0, count - lastRows_);
  bottom_ = LiveBottom();
  vpos_ = atNewest ? bottom_ : std::min(vpos_, bottom_);
  lastRows_ = Rows();
  hlimit_ = LiveHorizontalLimit();
  hpos_ = std::clamp(hpos_, 0, hlimit_);
}

int TextView::ScrollBy(int step) {
  step = std::clamp(step, -vpos_, std::max(0, bottom_ - vpos_));
  vpos_ += step;
  return step;
}

int TextView::ScrollAcross(int step) {
  step = std::clamp(step, -hpos_, std::max(0, hlimit_ - hpos_));
  hpos_ += step;
  return step;
}

}  // namespace trelm
