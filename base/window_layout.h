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
  ControlRect minimizeButton;  // "&Minimieren", Button2, on the left or on top
  ControlRect cancelButton;    // "&Abbrechen", Button1, on the right or below
};

// Side by side is the usual look; stacked keeps a font whose two buttons are
// together wider than the work area.
enum class ButtonArrangement { kSideBySide, kStacked };

// Text measurement in the status font, one line, in pixels.
struct StatusFontMetrics {
  int lineHeight = 0;   // height of "M"
  TextWidth textWidth;  // width of the text as given
};

inline constexpr int kButtonExtraHeight = 12;
// No font is made smaller than this to fit.
inline constexpr int kSmallestFontPoints = 8;

// Height of a button showing one line in the font.
int ButtonHeightForFont(const StatusFontMetrics& font);
// Width of the text followed by one blank.
int TextWidthForFont(const StatusFontMetrics& font, const std::string& text);
// Captions in ownership order; the one with the most characters (after
// removing "&") wins, the first on a tie; its width plus "MM" fits every button.
int ButtonWidthForCaptions(const StatusFontMetrics& font, const std::vector<std::string>& captions);

// statusHeight is the status line sized to its text. The progress bar is
// twice as high as a button, less where the client area is too small for
// that; it never reaches the status line or the buttons. Stacked buttons
// stand centred, "&Minimieren" above "&Abbrechen".
WindowControlsLayout ArrangeControls(
    int clientWidth, int clientHeight, int statusHeight, int buttonWidth, int buttonHeight,
    ButtonArrangement arrangement = ButtonArrangement::kSideBySide);

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
WindowPosition CenterOnWorkArea(const WorkArea& workArea, const WindowSize& window, bool maximized);

// ---- The whole window ----

struct WindowLayoutRequest {
  WorkArea workArea;
  WindowSize frame;    // what the frame and the title bar add to the client area
  int fontPoints = 0;  // the status font's configured size
  std::function<StatusFontMetrics(int points)> fontAt;
  std::vector<std::string> statusTexts;  // every text the status line may show
  std::vector<std::string> buttonCaptions;
};

struct WindowLayout {
  int fontPoints = 0;  // the configured size, or the largest smaller one that fits
  ButtonArrangement buttons = ButtonArrangement::kSideBySide;
  WindowSize window;
  WindowControlsLayout controls;
};

// Why a font size does not fit the work area even with every concession.
enum class FontMisfit {
  kNone,
  // One button alone, its caption with a little room, is wider than the work area.
  kButtonWiderThanWorkArea,
  // The status lines, a progress bar one line high and the buttons (stacked
  // where they do not fit side by side) are higher than the work area.
  kHigherThanWorkArea,
};

struct FontSizeTrial {
  WindowLayout layout;
  FontMisfit misfit = FontMisfit::kNone;
};

// The window at one font size. 90 % × 45 % of the work area where everything
// fits. Else it grows, up to the work area: wide enough for the buttons and
// for the longest status text on one line, then high enough for the status
// line's lines and the progress bar. Where even the work area is too small,
// the buttons give up their spare width, then stand one above the other, and
// the progress bar gives up height down to one line of the status text.
// Every status text is always shown whole.
FontSizeTrial LayoutAtFontSize(const WindowLayoutRequest& request, int points);

// The configured size wherever it fits with those concessions, else the
// largest smaller one that does (at least kSmallestFontPoints).
WindowLayout LayoutWindow(const WindowLayoutRequest& request);
