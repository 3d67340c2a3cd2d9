// The main window's geometry: where the status line, the progress bar and the
// two buttons go, how large the window is and where it stands. Pure
// arithmetic on measured figures, so every front end lays out alike and the
// rules are testable without a screen.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct ControlRect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const ControlRect&) const = default;
};

struct WindowControlsLayout {
  ControlRect status;
  ControlRect progress;
  ControlRect minimizeButton;  // "&Minimieren", Button2, on the left
  ControlRect cancelButton;    // "&Abbrechen", Button1, on the right
};

// Text measurement in the status font, one line, in pixels.
struct StatusFontMetrics {
  int lineHeight = 0;                                 // height of "M"
  std::function<int(const std::string&)> textWidth;   // width of the text as given
};

inline constexpr int kButtonExtraHeight = 12;

// Height of a button showing one line in the font.
int ButtonHeightForFont(const StatusFontMetrics& font);
// Width of the text followed by one blank.
int TextWidthForFont(const StatusFontMetrics& font, const std::string& text);
// Captions in ownership order; the one with the most characters (after
// removing "&") wins, the first on a tie; its width plus "MM" fits every button.
int ButtonWidthForCaptions(const StatusFontMetrics& font, const std::vector<std::string>& captions);

// statusHeight is the status line sized to its current text.
WindowControlsLayout ArrangeControls(int clientWidth, int clientHeight, int statusHeight,
                                     int buttonWidth, int buttonHeight);

struct WorkArea {
  int left = 0, top = 0, width = 0, height = 0;
};
struct WindowSize {
  int width = 0, height = 0;
  bool operator==(const WindowSize&) const = default;
};
struct WindowPosition {
  int left = 0, top = 0;
  bool operator==(const WindowPosition&) const = default;
};

// 90 % of the work area's width and 45 % of its height, truncated.
WindowSize WindowSizeForWorkArea(const WorkArea& workArea);
WindowPosition CenterOnWorkArea(const WorkArea& workArea, const WindowSize& window,
                                bool maximized);
