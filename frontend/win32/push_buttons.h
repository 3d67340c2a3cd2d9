// The main window's two push buttons, drawn by the window (owner-drawn) so
// that the focus shows plainly whatever the system's theme: the focused
// button takes the status line's colours swapped, as the focused status line
// does, inside a frame at least 3 px wide; the default button keeps its dark
// outer frame.
#pragma once

#include <windows.h>

#include "frontend/front_end.h"

// Width of the focus frame: 3 px at 96 dpi, more on denser screens.
int FocusFrameWidth(UINT dpi);

// Paints the button in its own font, its caption's "&" as an underline.
void DrawPushButton(const DRAWITEMSTRUCT& item, const StatusStyle& style, bool isDefault);
