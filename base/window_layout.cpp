#include "base/window_layout.h"

#include <algorithm>

#include "base/strings.h"

namespace {

constexpr int kStatusTop = 20;
constexpr int kLeftMargin = 10;
constexpr int kBottomMargin = 20;
constexpr const char* kButtonExtraText = "MM";
// The least room between two controls.
constexpr int kGap = 10;

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

// The caption with the most characters, without "&"; the first on a tie.
std::string LongestCaption(const std::vector<std::string>& captions) {
  std::string longest;
  for (const std::string& caption : captions) {
    const std::string plain = StripAmpersands(caption);
    if (CharacterCount(plain) > CharacterCount(longest)) longest = plain;
  }
  return longest;
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
  return TextWidthForFont(font, LongestCaption(captions) + kButtonExtraText);
}

// ---- Arranging ----

WindowControlsLayout ArrangeControls(int clientWidth, int clientHeight, int statusHeight,
                                     int buttonWidth, int buttonHeight,
                                     ButtonArrangement arrangement) {
  WindowControlsLayout layout;
  ControlRect& status = layout.status;
  status = {kLeftMargin, kStatusTop, clientWidth - 2 * kLeftMargin, statusHeight};

  ControlRect& cancel = layout.cancelButton;
  ControlRect& minimize = layout.minimizeButton;
  cancel.width = minimize.width = buttonWidth;
  cancel.height = minimize.height = buttonHeight;
  cancel.top = clientHeight - cancel.height - kBottomMargin;
  if (arrangement == ButtonArrangement::kStacked) {
    minimize.top = cancel.top - kGap - minimize.height;
    minimize.left = cancel.left = (clientWidth - buttonWidth) / 2;
  } else {
    minimize.top = cancel.top;
    minimize.left = (clientWidth - 2 * minimize.width) / 3;
    cancel.left = 2 * minimize.left + minimize.width;
  }

  ControlRect& progress = layout.progress;
  progress.left = status.left;
  progress.width = status.width;
  const int statusBottom = status.top + status.height;
  const int buttonsTop = minimize.top;
  const int room = buttonsTop - kGap - (statusBottom + kGap);
  progress.height = std::max(0, std::min(2 * buttonHeight, room));
  // Half the free height, counted from the client area's top rather than
  // from the status line's bottom, but never onto the status line.
  progress.top = std::max((buttonsTop - status.top - status.height - progress.height) / 2,
                          statusBottom + kGap);
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

// ---- The whole window ----

FontSizeTrial LayoutAtFontSize(const WindowLayoutRequest& request, int points) {
  const WindowSize standard = WindowSizeForWorkArea(request.workArea);
  const int standardClientWidth = standard.width - request.frame.width;
  const int standardClientHeight = standard.height - request.frame.height;
  const int widestClient = request.workArea.width - request.frame.width;
  const int highestClient = request.workArea.height - request.frame.height;

  const StatusFontMetrics font = request.fontAt(points);
  const int buttonHeight = ButtonHeightForFont(font);
  const int fullButtonWidth = ButtonWidthForCaptions(font, request.buttonCaptions);
  // Buttons with less room around their caption rather than a smaller font.
  const int leastButtonWidth =
      TextWidthForFont(font, LongestCaption(request.buttonCaptions)) + font.lineHeight / 4;

  FontSizeTrial trial;
  WindowLayout& layout = trial.layout;
  layout.fontPoints = points;
  const bool sideBySide = 2 * leastButtonWidth + 3 * kGap <= widestClient;
  layout.buttons = sideBySide ? ButtonArrangement::kSideBySide : ButtonArrangement::kStacked;

  int widestText = 0;
  for (const std::string& text : request.statusTexts) {
    widestText = std::max(widestText, font.textWidth(text));
  }
  const int buttonsWidth = sideBySide ? 2 * fullButtonWidth + 3 * kGap : fullButtonWidth + 2 * kGap;
  const int wantedWidth = std::max(buttonsWidth, widestText + 2 * kLeftMargin);
  const int clientWidth = std::max(standardClientWidth, std::min(wantedWidth, widestClient));
  const int buttonWidth =
      sideBySide
          ? std::min(fullButtonWidth, std::max(leastButtonWidth, (clientWidth - 3 * kGap) / 2))
          : std::min(fullButtonWidth, clientWidth - 2 * kGap);

  int statusLines = 1;
  for (const std::string& text : request.statusTexts) {
    const auto lines = WrapText(font.textWidth, text, clientWidth - 2 * kLeftMargin);
    statusLines = std::max(statusLines, static_cast<int>(lines.size()));
  }
  const int statusHeight = statusLines * font.lineHeight;
  const int buttonsHeight = sideBySide ? buttonHeight : 2 * buttonHeight + kGap;
  // Everything but the progress bar, which wants twice a button's height.
  const int fixedHeight = kStatusTop + statusHeight + 2 * kGap + buttonsHeight + kBottomMargin;
  const int clientHeight =
      std::max(standardClientHeight, std::min(fixedHeight + 2 * buttonHeight, highestClient));

  layout.window = {clientWidth + request.frame.width, clientHeight + request.frame.height};
  layout.controls = ArrangeControls(clientWidth, clientHeight, statusHeight, buttonWidth,
                                    buttonHeight, layout.buttons);
  if (buttonWidth < leastButtonWidth) {
    trial.misfit = FontMisfit::kButtonWiderThanWorkArea;
  } else if (clientHeight - fixedHeight < std::min(font.lineHeight, 2 * buttonHeight)) {
    trial.misfit = FontMisfit::kHigherThanWorkArea;
  }
  return trial;
}

WindowLayout LayoutWindow(const WindowLayoutRequest& request) {
  for (int points = request.fontPoints;; --points) {
    FontSizeTrial trial = LayoutAtFontSize(request, points);
    if (trial.misfit == FontMisfit::kNone || points <= kSmallestFontPoints) return trial.layout;
  }
}
