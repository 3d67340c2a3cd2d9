// A message box's geometry in the status font: the icon, the text beside it
// and the buttons in a row below, at the configured size wherever the work
// area holds the box, else at the largest smaller size that it does. Pure
// arithmetic on measured figures, like the main window's.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/window_layout.h"

// A font as the box needs it measured.
struct MessageBoxFont {
  StatusFontMetrics metrics;
  // Height of a text broken into lines at that width as the box draws it:
  // at its line breaks and at blanks.
  std::function<int(const std::string& text, int width)> textHeight;
};

struct MessageBoxLayoutRequest {
  WorkArea workArea;
  WindowSize frame;  // what the frame and the title bar add to the client area
  int fontPoints = 0;
  std::function<MessageBoxFont(int points)> fontAt;
  std::string text;
  std::vector<std::string> buttonCaptions;  // in the row's order
  int leastIconSize = 0;                    // the system's icon size; the icon grows to a line
};

struct MessageBoxLayout {
  int fontPoints = 0;
  std::string text;  // with every word wider than the box broken
  WindowSize window;
  ControlRect icon;
  ControlRect textRect;
  std::vector<ControlRect> buttons;
};

// The text wraps at half the work area's width, wider where a word needs it;
// where the box would then be higher than the work area, at the work area's
// width. A word wider than the work area (a path) is broken at its
// separators. The buttons are as wide as the longest caption with "MM".
MessageBoxLayout LayoutMessageBox(const MessageBoxLayoutRequest& request);
