#include "font_metrics.h"

namespace trelm {

void MeasureFont(HWND window, HFONT font, int* lineHeight, int* charWidth) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  *lineHeight = tm.tmHeight + tm.tmExternalLeading;
  *charWidth = tm.tmAveCharWidth;
}

}  // namespace trelm
