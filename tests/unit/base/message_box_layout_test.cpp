#include "base/message_box_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "base/text_wrap.h"
#include "resources/texts.h"

namespace {

// Every character half an em wide, a line 1.15 em high, as in the window's
// layout tests; the text wraps at its line breaks and blanks.
MessageBoxFont FontOfPoints(int points, int dpi) {
  const double em = points * dpi / 72.0;
  MessageBoxFont font;
  font.metrics.lineHeight = static_cast<int>(std::lround(em * 1.15));
  font.metrics.textWidth = [em](const std::string& text) {
    return static_cast<int>(std::lround(text.size() * em * 0.5));
  };
  font.textHeight = [metrics = font.metrics](const std::string& text, int width) {
    int lines = 0;
    std::size_t start = 0;
    for (;;) {
      const std::size_t end = text.find("\r\n", start);
      lines += static_cast<int>(
          WrapText(metrics.textWidth, text.substr(start, end - start), width).size());
      if (end == std::string::npos) return lines * metrics.lineHeight;
      start = end + 2;
    }
  };
  return font;
}

bool Overlap(const ControlRect& a, const ControlRect& b) {
  return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
         b.top < a.top + a.height;
}

bool Inside(const ControlRect& r, int width, int height) {
  return r.left >= 0 && r.top >= 0 && r.left + r.width <= width && r.top + r.height <= height;
}

std::string LongPath() {
  std::string path = "C:\\";
  for (int i = 0; i < 12; ++i) {
    path += "Unterordner";
    path += std::to_string(i);
    path += "\\";
  }
  path += "Datei-mit-einem-langen-Namen.txt";
  return path;
}

}  // namespace

TEST(LayoutMessageBox, ConfiguredSizeWhereTheWorkAreaHoldsTheBoxElseTheLargestThatFits) {
  const std::string outcome =
      "Die Aktualisierung von \"Produkt\" wurde erfolgreich abgeschlossen!\r\n"
      "Soll das Programm gestartet werden?";
  const std::string failure = std::string(kMsgError) + "https://www.quennvoldar.example";
  const std::string copyFailed = "Beim Kopieren der Datei \"" + LongPath() + "\" nach \"" +
                                 LongPath() + "\" ist ein Fehler aufgetreten!";
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::string> captions;
    WorkArea workArea;
    int dpi, points, expectedPoints;
  };
  const Case cases[] = {
      {"short text, small font",
       "\"Produkt\" ist bereits aktuell!",
       {"OK"},
       {0, 0, 1920, 1080},
       96,
       12,
       12},
      {"question at 72 points", outcome, {kCaptionYes, kCaptionNo}, {0, 0, 1280, 1024}, 96, 72, 72},
      {"question at 72 points, 192 dpi",
       outcome,
       {kCaptionYes, kCaptionNo},
       {0, 0, 1280, 1024},
       192,
       72,
       40},
      {"long failure at 72 points", failure, {"OK"}, {0, 0, 1280, 1024}, 96, 72, 51},
      {"paths at 12 points", copyFailed, {"OK"}, {0, 0, 1280, 1024}, 96, 12, 12},
      {"paths at 72 points", copyFailed, {"OK"}, {0, 0, 1920, 1080}, 96, 72, 50},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MessageBoxLayoutRequest request;
    request.workArea = c.workArea;
    request.frame = {6 * c.dpi / 96, 29 * c.dpi / 96};
    request.fontPoints = c.points;
    request.fontAt = [dpi = c.dpi](int points) { return FontOfPoints(points, dpi); };
    request.text = c.text;
    request.buttonCaptions = c.captions;
    request.leastIconSize = 32 * c.dpi / 96;
    const MessageBoxLayout box = LayoutMessageBox(request);
    EXPECT_EQ(box.fontPoints, c.expectedPoints);

    // On the work area, nothing covered, the text whole in its lines.
    EXPECT_LE(box.window.width, c.workArea.width);
    EXPECT_LE(box.window.height, c.workArea.height);
    const int clientWidth = box.window.width - request.frame.width;
    const int clientHeight = box.window.height - request.frame.height;
    std::vector<ControlRect> controls = {box.icon, box.textRect};
    controls.insert(controls.end(), box.buttons.begin(), box.buttons.end());
    for (std::size_t i = 0; i < controls.size(); ++i) {
      EXPECT_TRUE(Inside(controls[i], clientWidth, clientHeight)) << i;
      for (std::size_t j = i + 1; j < controls.size(); ++j) {
        EXPECT_FALSE(Overlap(controls[i], controls[j])) << i << " and " << j;
      }
    }
    const MessageBoxFont font = FontOfPoints(box.fontPoints, c.dpi);
    EXPECT_EQ(box.textRect.height, font.textHeight(box.text, box.textRect.width));
    std::size_t start = 0;
    for (;;) {
      const std::size_t end = box.text.find_first_of(" \r\n", start);
      EXPECT_LE(font.metrics.textWidth(box.text.substr(start, end - start)), box.textRect.width);
      if (end == std::string::npos) break;
      start = end + 1;
    }
    // Only paths were broken, each after a separator.
    std::string joined = box.text;
    for (std::size_t b = joined.find("\\\r\n"); b != std::string::npos;
         b = joined.find("\\\r\n", b)) {
      joined.erase(b + 1, 2);
    }
    EXPECT_EQ(joined, c.text);
  }
}
