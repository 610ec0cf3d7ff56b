// The text metrics both programs' scrolling windows lay their lines out by.
// Win32.
#pragma once

#include <windows.h>

namespace trelm {

// Line height (tmHeight + tmExternalLeading) and character width
// (tmAveCharWidth) of font as drawn in window.
void MeasureFont(HWND window, HFONT font, int* lineHeight, int* charWidth);

}  // namespace trelm
