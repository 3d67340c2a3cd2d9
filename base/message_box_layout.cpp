#include "base/message_box_layout.h"

#include <algorithm>

#include "base/text_wrap.h"

namespace {

constexpr int kLeastMargin = 10;

// The widest of the pieces between any of the separators.
int WidestPiece(const TextWidth& width, const std::string& text, const char* separators) {
  int widest = 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find_first_of(separators, start);
    widest = std::max(widest, width(text.substr(start, end - start)));
    if (end == std::string::npos) return widest;
    start = end + 1;
  }
}

struct Trial {
  MessageBoxLayout layout;
  bool fits = false;
};

Trial LayoutAtSize(const MessageBoxLayoutRequest& request, int points, bool widest) {
  const MessageBoxFont font = request.fontAt(points);
  const StatusFontMetrics& metrics = font.metrics;
  const int margin = std::max(kLeastMargin, metrics.lineHeight / 4);
  const int icon = std::max(request.leastIconSize, metrics.lineHeight);
  const int widestClient = request.workArea.width - request.frame.width;
  const int highestClient = request.workArea.height - request.frame.height;

  Trial trial;
  MessageBoxLayout& layout = trial.layout;
  layout.fontPoints = points;
  const int widestText = std::max(1, widestClient - icon - 3 * margin);
  layout.text = BreakLongWords(metrics.textWidth, request.text, widestText);
  const int widestWord = WidestPiece(metrics.textWidth, layout.text, " \r\n");
  const int widestLine = WidestPiece(metrics.textWidth, layout.text, "\r\n");
  const int usualWidth = std::min(request.workArea.width / 2, widestText);
  const int textWidth =
      std::min(widestLine, std::max(widestWord, widest ? widestText : usualWidth));
  const int textHeight = font.textHeight(layout.text, textWidth);

  const int buttonHeight = ButtonHeightForFont(metrics);
  const int buttonWidth = ButtonWidthForCaptions(metrics, request.buttonCaptions);
  const int buttonCount = static_cast<int>(request.buttonCaptions.size());
  const int rowWidth = buttonCount * buttonWidth + (buttonCount - 1) * margin;
  const int contentHeight = std::max(icon, textHeight);
  const int clientWidth = std::max(3 * margin + icon + textWidth, 2 * margin + rowWidth);
  const int clientHeight = 3 * margin + contentHeight + buttonHeight;

  layout.window = {clientWidth + request.frame.width, clientHeight + request.frame.height};
  layout.icon = {margin, margin, icon, icon};
  // A text lower than the icon stands beside its middle.
  layout.textRect = {2 * margin + icon, margin + (contentHeight - textHeight) / 2, textWidth,
                     textHeight};
  const int buttonsTop = 2 * margin + contentHeight;
  int left = (clientWidth - rowWidth) / 2;
  for (int i = 0; i < buttonCount; ++i) {
    layout.buttons.push_back({left, buttonsTop, buttonWidth, buttonHeight});
    left += buttonWidth + margin;
  }
  trial.fits = clientWidth <= widestClient && clientHeight <= highestClient;
  return trial;
}

}  // namespace

MessageBoxLayout LayoutMessageBox(const MessageBoxLayoutRequest& request) {
  for (int points = request.fontPoints;; --points) {
    Trial trial = LayoutAtSize(request, points, false);
    if (!trial.fits) trial = LayoutAtSize(request, points, true);
    if (trial.fits || points <= kSmallestFontPoints) return trial.layout;
  }
}
