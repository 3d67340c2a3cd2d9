// The main window's geometry: where the status line, the progress bar and the
// two buttons go, how large the window is and where it stands. Pure
// arithmetic on measured figures, so every front end lays out alike and the
// rules are testable without a screen.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/text_wrap.h"

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
  int lineHeight = 0;  // height of "M"
  TextWidth textWidth;  // width of the text as given
};

inline constexpr int kButtonExtraHeight = 12;

// Height of a button showing one line in the font.
int ButtonHeightForFont(const StatusFontMetrics& font);
// Width of the text followed by one blank.
int TextWidthForFont(const StatusFontMetrics& font, const std::string& text);
// Captions in ownership order; the one with the most characters (after
// removing "&") wins, the first on a tie; its width plus "MM" fits every button.
int ButtonWidthForCaptions(const StatusFontMetrics& font, const std::vector<std::string>& captions);

// statusHeight is the status line sized to its text. The progress bar is
// twice as high as a button, less where the client area is too small for
// that; it never reaches the status line or the buttons.
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

// ---- The whole window ----

struct WindowLayoutRequest {
  WorkArea workArea;
  WindowSize frame;  // what the frame and the title bar add to the client area
  int fontPoints = 0;  // the status font's configured size
  std::function<StatusFontMetrics(int points)> fontAt;
  std::vector<std::string> statusTexts;  // every text the status line may show
  std::vector<std::string> buttonCaptions;
};

struct WindowLayout {
  int fontPoints = 0;  // the configured size, or the largest smaller one that fits
  WindowSize window;
  WindowControlsLayout controls;
};

// 90 % × 45 % of the work area where everything fits. Else the window grows,
// up to the work area: wide enough for the buttons and for the longest status
// text on one line, then high enough for the status line's lines and the
// progress bar. Where even the work area is too small, the buttons give up
// their spare width and the progress bar its spare height before the font
// gives up size; every status text is always shown whole.
WindowLayout LayoutWindow(const WindowLayoutRequest& request);
