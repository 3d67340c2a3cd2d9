#include "base/window_layout.h"

#include "base/strings.h"

namespace {

constexpr int kStatusTop = 20;
constexpr int kLeftMargin = 10;
constexpr int kBottomMargin = 20;
constexpr const char* kButtonExtraText = "MM";

// Characters, not bytes: a caption may hold umlauts.
std::size_t CharacterCount(const std::string& text) {
  std::size_t count = 0;
  for (const unsigned char c : text) {
    if ((c & 0xC0) != 0x80) ++count;
  }
  return count;
}

// A percentage of a length, computed in double precision and truncated.
// Each step is stored in a volatile double: the 32-bit x87 unit otherwise
// keeps extra bits and truncates 1040 / 100 × 45 to 467 instead of 468.
int PercentOf(int length, int percent) {
  const volatile double hundredth = length / 100.0;
  const volatile double share = hundredth * percent;
  return static_cast<int>(share);
}

}  // namespace

// ---- Measuring ----

int ButtonHeightForFont(const StatusFontMetrics& font) {
  return font.lineHeight + kButtonExtraHeight;
}

int TextWidthForFont(const StatusFontMetrics& font, const std::string& text) {
  return font.textWidth(text + " ");
}

int ButtonWidthForCaptions(const StatusFontMetrics& font,
                           const std::vector<std::string>& captions) {
  std::string longest;
  for (const std::string& caption : captions) {
    const std::string plain = StripAmpersands(caption);
    if (CharacterCount(plain) > CharacterCount(longest)) longest = plain;
  }
  return TextWidthForFont(font, longest + kButtonExtraText);
}

// ---- Arranging ----

WindowControlsLayout ArrangeControls(int clientWidth, int clientHeight, int statusHeight,
                                     int buttonWidth, int buttonHeight) {
  WindowControlsLayout layout;
  ControlRect& status = layout.status;
  status = {kLeftMargin, kStatusTop, clientWidth - 2 * kLeftMargin, statusHeight};

  ControlRect& cancel = layout.cancelButton;
  ControlRect& minimize = layout.minimizeButton;
  cancel.width = minimize.width = buttonWidth;
  cancel.height = minimize.height = buttonHeight;
  cancel.top = clientHeight - cancel.height - kBottomMargin;
  minimize.top = cancel.top;
  minimize.left = (clientWidth - 2 * minimize.width) / 3;
  cancel.left = 2 * minimize.left + minimize.width;

  ControlRect& progress = layout.progress;
  progress.left = status.left;
  progress.width = status.width;
  progress.height = 2 * cancel.height;
  // Half the free height, counted from the client area's top rather than
  // from the status line's bottom.
  progress.top = (cancel.top - status.top - status.height - progress.height) / 2;
  return layout;
}

// ---- Size and position ----

WindowSize WindowSizeForWorkArea(const WorkArea& workArea) {
  return {PercentOf(workArea.width, 90), PercentOf(workArea.height, 45)};
}

WindowPosition CenterOnWorkArea(const WorkArea& workArea, const WindowSize& window,
                                bool maximized) {
  if (maximized) return {workArea.left, workArea.top};
  return {(workArea.width - window.width) / 2 + workArea.left,
          (workArea.height - window.height) / 2 + workArea.top};
}
