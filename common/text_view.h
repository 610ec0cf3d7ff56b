// A scrolling text view's lines and scroll arithmetic, shared by the
// launcher's debug window and the capture tool's display.
// Portable: no <windows.h>. The windows draw what the owners plan.
#pragma once

#include <cstddef>
#include <string>

namespace trelm {

// Memory for the lines: one block per line, locked only while it is read or
// written. The capture tool gives each line a movable global block; tests
// give blocks that fail on demand.
class LineMemory {
 public:
  using Block = void*;
  virtual ~LineMemory() = default;
  // A block of bytes bytes, or nullptr when there is no memory.
  virtual Block Allocate(std::size_t bytes) = 0;
  // The block's bytes, or nullptr when it cannot be locked.
  virtual char* Lock(Block block) = 0;
  virtual void Unlock(Block block) = 0;
  virtual void Free(Block block) = 0;
};

// Plain heap blocks that never move.
LineMemory& HeapLineMemory();

// The newest 1000 lines, index 0 the newest. Each line is a NUL-terminated
// copy in a block of its own of exactly its length plus one. The slot after
// the last line keeps the line a full store pushed out until the next add
// frees it, so at most one block more than the lines held is ever in use.
class LineStore {
 public:
  static constexpr std::size_t kCapacity = 1000;

  explicit LineStore(LineMemory& memory = HeapLineMemory()) : memory_(memory) {}
  ~LineStore();
  LineStore(const LineStore&) = delete;
  LineStore& operator=(const LineStore&) = delete;

  // Adds a copy of text as the newest line. When its block cannot be had
  // the line still takes its place, as an empty slot.
  void Add(const char* text);
  // Frees every line; the longest length stays.
  void Clear();

  std::size_t Count() const { return count_; }
  // Length of the longest line ever added; it only grows.
  std::size_t Longest() const { return longest_; }
  // Locks line index; nullptr for an empty slot or a failed lock. Every
  // successful Lock is followed by Unlock of the same index.
  const char* Lock(std::size_t index) const;
  void Unlock(std::size_t index) const;
  // A copy of line index ("" for an empty slot), for tests and tools.
  std::string Text(std::size_t index) const;
  // Blocks in use, the pushed-out one included.
  std::size_t BlocksInUse() const;

 private:
  LineMemory& memory_;
  LineMemory::Block slots_[kCapacity + 1] = {};
  std::size_t count_ = 0;
  std::size_t longest_ = 0;
};

// The view's geometry and positions. Positions count lines from the oldest
// edge: the bottom position shows the newest line on the bottom row.
class TextView {
 public:
  explicit TextView(LineMemory& memory = HeapLineMemory()) : store_(memory) {}

  LineStore& Store() { return store_; }
  const LineStore& Store() const { return store_; }

  // A font without metrics still gives a usable, if crude, layout.
  void SetMetrics(int lineHeight, int charWidth);
  void SetClientSize(int width, int height);
  int LineHeight() const { return lineHeight_; }
  int CharWidth() const { return charWidth_; }
  int ClientWidth() const { return clientWidth_; }
  int ClientHeight() const { return clientHeight_; }
  int Rows() const { return clientHeight_ / lineHeight_; }
  int Columns() const { return clientWidth_ / charWidth_; }

  // count - rows for the lines held now, at least 0.
  int LiveBottom() const;
  // longest - columns for the lines held now, at least 0.
  int LiveHorizontalLimit() const;
  // The bottom position stored by the last Recompute.
  int Bottom() const { return bottom_; }
  int HorizontalLimit() const { return hlimit_; }
  int ViewPos() const { return vpos_; }
  int HorizontalPos() const { return hpos_; }

  // Recomputes the ranges for the lines held and the current size. A view
  // that was at the newest line (at the bottom computed with the rows of the
  // last recompute) stays at the newest line, so a change of the client area
  // (a resize, a scroll bar appearing) never hides it; any other view is
  // clamped into the new range.
  void Recompute();
  // Brings the view to the newest line for the lines held now.
  void FollowNewest() { vpos_ = LiveBottom(); }
  // Moves the view by step lines, clamped to 0..stored bottom; returns the
  // step taken.
  int ScrollBy(int step);
  // Moves the view sideways by step columns, clamped to 0..horizontal limit.
  int ScrollAcross(int step);

 private:
  LineStore store_;
  int lineHeight_ = 1;
  int charWidth_ = 1;
  int clientWidth_ = 0;
  int clientHeight_ = 0;
  int lastRows_ = 0;  // rows at the last recompute
  int bottom_ = 0;
  int hlimit_ = 0;
  int vpos_ = 0;
  int hpos_ = 0;
};

}  // namespace trelm
