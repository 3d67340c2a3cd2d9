// The main window's status line: its font at the sizes the layout tries, and
// its painting. The line is drawn by the window itself, so that its text
// breaks exactly where the layout measured it and its focus is visible.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "base/window_layout.h"
#include "frontend/front_end.h"

// The configured face and weight at a size in points, at a density.
HFONT CreateStatusFont(const StatusStyle& style, int points, UINT dpi);

// A configured colour; negative values name a system colour by the index in
// their lowest byte.
COLORREF StatusColour(int colour);

// Line height and text widths in the font selected into the device context.
StatusFontMetrics MeasureInContext(HDC dc);

// Fonts of the configured face at the sizes the layout tries, each created
// once and measured in a device context of their own.
class StatusFontTrials {
 public:
  StatusFontTrials(const StatusStyle& style, UINT dpi);
  ~StatusFontTrials();
  StatusFontTrials(const StatusFontTrials&) = delete;
  StatusFontTrials& operator=(const StatusFontTrials&) = delete;

  StatusFontMetrics At(int points);
  // Height of the text drawn as a static control draws it: broken at its
  // line breaks and at blanks to the width.
  int WrappedTextHeight(int points, const std::string& text, int width);
  // The font of that size, which the caller owns from now on.
  HFONT Take(int points);

 private:
  HFONT FontAt(int points);

  const StatusStyle& style_;
  UINT dpi_;
  HDC dc_;
  std::map<int, HFONT> fonts_;
};

// Makes the status line repaint when it takes or loses the focus.
void RepaintStatusLineOnFocus(HWND status);

// Paints the status line (an owner-drawn static): the text in lines broken
// to its width, in the configured colours, or in those colours swapped and
// framed while it has the focus.
void DrawStatusLine(const DRAWITEMSTRUCT& item, const std::string& text, HFONT font,
                    const StatusStyle& style);
