// The "Pellor Debug" window: a scrolling view of the debug log's newest
// lines, drawn in a small fixed-pitch font on light grey.
#pragma once

#include <windows.h>

#include "core/debug_log.h"

namespace pellor {

class DebugWindow {
 public:
  // Registers the class "Debug" and opens the window; false if it could
  // not be opened (the lines are still kept).
  bool Create(HINSTANCE instance);
  void Add(const char* text);
  // Destroys the window and forgets its handle; nothing without a window.
  void Destroy();
  HWND Handle() const { return window_; }
  const DebugLog& Log() const { return log_; }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void UpdateMetrics();
  void Paint();

  DebugLog log_;
  HWND window_ = nullptr;
  HFONT font_ = nullptr;
};

}  // namespace pellor
