#include "base/window_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>

#include "resources/texts.h"

// Readable failure messages; found by argument-dependent lookup.
static void PrintTo(const ControlRect& r, std::ostream* out) {
  *out << "{left " << r.left << ", top " << r.top << ", " << r.width << " x " << r.height << "}";
}
static void PrintTo(const WindowSize& s, std::ostream* out) {
  *out << s.width << " x " << s.height;
}
static void PrintTo(const WindowPosition& p, std::ostream* out) {
  *out << "(" << p.left << ", " << p.top << ")";
}

namespace {

// Character widths in em: Arial's "Minimieren" averages 0.49; a wide bold
// face like the one Wine draws for bold Arial averages 0.63.
constexpr double kArial = 0.5;
constexpr double kWideBold = 0.65;

// A proportional font whose characters are all equally wide; a line is
// 1.15 em high.
StatusFontMetrics FontOfPoints(int points, int dpi = 96, double advance = kArial) {
  const double em = points * dpi / 72.0;
  StatusFontMetrics font;
  font.lineHeight = static_cast<int>(std::lround(em * 1.15));
  font.textWidth = [em, advance](const std::string& text) {
    return static_cast<int>(std::lround(text.size() * em * advance));
  };
  return font;
}

// Ten pixels per byte, so widths tell which text was measured.
StatusFontMetrics TenPixelsPerByte() {
  StatusFontMetrics font;
  font.lineHeight = 16;
  font.textWidth = [](const std::string& text) { return static_cast<int>(text.size()) * 10; };
  return font;
}

const std::vector<std::string> kButtonCaptions = {kCaptionCancel, kCaptionMinimize};

WindowControlsLayout LayoutFor(const StatusFontMetrics& font, int clientWidth, int clientHeight) {
  return ArrangeControls(clientWidth, clientHeight, font.lineHeight,
                         ButtonWidthForCaptions(font, kButtonCaptions), ButtonHeightForFont(font));
}

}  // namespace

// ---- Controls ----

TEST(ArrangeControls, LargerStatusFontGivesTallerButtonsAndTwiceTallProgressBar) {
  const StatusFontMetrics normal = FontOfPoints(12);
  const StatusFontMetrics large = FontOfPoints(24);
  const WindowControlsLayout small = LayoutFor(normal, 1712, 429);
  const WindowControlsLayout big = LayoutFor(large, 1712, 429);

  EXPECT_EQ(big.cancelButton.height, large.lineHeight + 12);
  EXPECT_GT(big.cancelButton.height, small.cancelButton.height);
  EXPECT_EQ(big.minimizeButton.height, big.cancelButton.height);
  EXPECT_EQ(big.progress.height, 2 * big.cancelButton.height);
  // Wide enough for the longer caption, "MM" and a blank in that font.
  EXPECT_EQ(big.minimizeButton.width, large.textWidth("MinimierenMM "));
  EXPECT_EQ(big.cancelButton.width, big.minimizeButton.width);
  EXPECT_GT(big.minimizeButton.width, small.minimizeButton.width);
}

TEST(ArrangeControls, ButtonsShareWidthAndTopWithThreeEqualGaps) {
  const StatusFontMetrics font = FontOfPoints(12);
  // Client widths leaving each remainder of the division by three.
  for (const int clientWidth : {1712, 1713, 1714, 600}) {
    SCOPED_TRACE(clientWidth);
    const WindowControlsLayout layout = LayoutFor(font, clientWidth, 429);
    const ControlRect& left = layout.minimizeButton;
    const ControlRect& right = layout.cancelButton;
    EXPECT_EQ(left.width, right.width);
    EXPECT_EQ(left.top, right.top);
    EXPECT_EQ(left.top, 429 - left.height - 20);

    const int gapLeft = left.left;
    const int gapMiddle = right.left - (left.left + left.width);
    const int gapRight = clientWidth - (right.left + right.width);
    EXPECT_EQ(gapLeft, gapMiddle);
    EXPECT_GE(gapRight, gapLeft);
    EXPECT_LE(gapRight - gapLeft, 2);
  }
}

TEST(ArrangeControls, StatusLineAndProgressBarFollowTheMargins) {
  // Status line 18 high, buttons 30 high and 100 wide in a 700 × 300 client.
  const WindowControlsLayout layout = ArrangeControls(700, 300, 18, 100, 30);
  EXPECT_EQ(layout.status, (ControlRect{10, 20, 680, 18}));
  EXPECT_EQ(layout.cancelButton, (ControlRect{432, 250, 100, 30}));
  EXPECT_EQ(layout.minimizeButton, (ControlRect{166, 250, 100, 30}));
  // (250 − 20 − 18 − 60) div 2, measured from the client area's top.
  EXPECT_EQ(layout.progress, (ControlRect{10, 76, 680, 60}));
}

TEST(ArrangeControls, StackedButtonsStandCentredMinimiseAboveCancel) {
  const WindowControlsLayout layout =
      ArrangeControls(700, 400, 18, 100, 30, ButtonArrangement::kStacked);
  EXPECT_EQ(layout.minimizeButton, (ControlRect{300, 310, 100, 30}));
  EXPECT_EQ(layout.cancelButton, (ControlRect{300, 350, 100, 30}));
  // (310 − 20 − 18 − 60) div 2: the free height is above the upper button.
  EXPECT_EQ(layout.progress, (ControlRect{10, 106, 680, 60}));
}

TEST(ArrangeControls, ProgressBarKeepsClearOfTheStatusLineAndTheButtons) {
  // Status line 100 high, buttons 30: the usual progress bar (60 high, top
  // at (230 − 20 − 100 − 60) div 2 = 25) would cover the status line.
  const WindowControlsLayout roomy = ArrangeControls(700, 280, 100, 100, 30);
  EXPECT_EQ(roomy.progress, (ControlRect{10, 130, 680, 60}));
  // Less room than that: the bar gives up height, never its gaps of 10.
  const WindowControlsLayout tight = ArrangeControls(700, 230, 100, 100, 30);
  EXPECT_EQ(tight.progress, (ControlRect{10, 130, 680, 40}));
  EXPECT_EQ(tight.cancelButton.top, 180);
}

// ---- Button width ----

TEST(ButtonWidthForCaptions, LongestCaptionByCharactersWithoutAmpersands) {
  const StatusFontMetrics font = TenPixelsPerByte();
  struct Case {
    std::vector<std::string> captions;
    int expectedWidth;  // ten per byte of the winner + "MM "
  };
  const Case cases[] = {
      {{"&Abbrechen", "&Minimieren"}, 130},
      {{"&Minimieren", "&Abbrechen"}, 130},
      // Two characters but four bytes lose against three plain ones.
      {{"&Äü", "abc"}, 60},
      // A tie keeps the first.
      {{"&Öxy", "abc"}, 70},
      // Every "&" goes, a doubled one too.
      {{"a&&b", "xy"}, 50},
      {{}, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.captions.empty() ? std::string("none") : c.captions.front());
    EXPECT_EQ(ButtonWidthForCaptions(font, c.captions), c.expectedWidth);
  }
}

TEST(TextWidthForFont, MeasuresTheTextWithOneBlank) {
  EXPECT_EQ(TextWidthForFont(TenPixelsPerByte(), "MM"), 30);
  EXPECT_EQ(ButtonHeightForFont(TenPixelsPerByte()), 28);
}

// ---- Window size and position ----

TEST(WindowSizeForWorkArea, NinetyByFortyFivePercentCentred) {
  const WorkArea workArea{0, 0, 1920, 1040};
  const WindowSize size = WindowSizeForWorkArea(workArea);
  EXPECT_EQ(size, (WindowSize{1728, 468}));
  EXPECT_EQ(CenterOnWorkArea(workArea, size, false), (WindowPosition{96, 286}));
}

TEST(WindowSizeForWorkArea, TruncatesAndCentresInAnOffsetWorkArea) {
  struct Case {
    WorkArea workArea;
    WindowSize size;
    WindowPosition position;
  };
  const Case cases[] = {
      {{0, 0, 1280, 984}, {1152, 442}, {64, 271}},
      {{0, 40, 1366, 728}, {1229, 327}, {68, 240}},    // taskbar on top
      {{72, 0, 1847, 1079}, {1662, 485}, {164, 297}},  // odd sizes truncate
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.workArea.width);
    const WindowSize size = WindowSizeForWorkArea(c.workArea);
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(CenterOnWorkArea(c.workArea, size, false), c.position);
  }
}

TEST(CenterOnWorkArea, MaximisedWindowGoesToTheWorkAreaCorner) {
  const WorkArea workArea{72, 40, 1847, 1000};
  EXPECT_EQ(CenterOnWorkArea(workArea, {1662, 450}, true), (WindowPosition{72, 40}));
}

// ---- The whole window at every font size ----

namespace {

bool Overlap(const ControlRect& a, const ControlRect& b) {
  return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
         b.top < a.top + a.height;
}

bool Inside(const ControlRect& r, int width, int height) {
  return r.left >= 0 && r.top >= 0 && r.width > 0 && r.height > 0 && r.left + r.width <= width &&
         r.top + r.height <= height;
}

WindowLayoutRequest RequestFor(const WorkArea& workArea, int points, int dpi,
                               double advance = kArial) {
  WindowLayoutRequest request;
  request.workArea = workArea;
  // A window frame and title bar as the system draws them at that density.
  request.frame = {16 * dpi / 96, 39 * dpi / 96};
  request.fontPoints = points;
  request.fontAt = [dpi, advance](int size) { return FontOfPoints(size, dpi, advance); };
  request.statusTexts.assign(std::begin(kStatusTexts), std::end(kStatusTexts));
  request.buttonCaptions = kButtonCaptions;
  return request;
}

}  // namespace

TEST(LayoutWindow, EveryFontAndDensityFitsWithoutOverlapAndShowsTheStatusWhole) {
  const WorkArea workAreas[] = {{0, 0, 1280, 1024}, {0, 0, 1920, 1080}};
  for (const WorkArea& workArea : workAreas) {
    for (const int dpi : {96, 144, 192}) {
      for (int points = 8; points <= 72; ++points) {
        SCOPED_TRACE(std::to_string(workArea.width) + " wide, " + std::to_string(dpi) + " dpi, " +
                     std::to_string(points) + " points");
        const WindowLayoutRequest request = RequestFor(workArea, points, dpi);
        const WindowLayout layout = LayoutWindow(request);
        ASSERT_LE(layout.window.width, workArea.width);
        ASSERT_LE(layout.window.height, workArea.height);
        const int clientWidth = layout.window.width - request.frame.width;
        const int clientHeight = layout.window.height - request.frame.height;
        const ControlRect controls[] = {layout.controls.status, layout.controls.progress,
                                        layout.controls.minimizeButton,
                                        layout.controls.cancelButton};
        for (std::size_t i = 0; i < std::size(controls); ++i) {
          EXPECT_TRUE(Inside(controls[i], clientWidth, clientHeight)) << i;
          for (std::size_t j = i + 1; j < std::size(controls); ++j) {
            EXPECT_FALSE(Overlap(controls[i], controls[j])) << i << " and " << j;
          }
        }
        // The font shrinks only where the work area cannot hold it, and never
        // at the usual density.
        EXPECT_LE(layout.fontPoints, points);
        if (dpi == 96) {
          EXPECT_EQ(layout.fontPoints, points);
        }
        const StatusFontMetrics font = FontOfPoints(layout.fontPoints, dpi);
        const ControlRect& status = layout.controls.status;
        for (const char* text : kStatusTexts) {
          const auto lines = WrapText(font.textWidth, text, status.width);
          EXPECT_LE(static_cast<int>(lines.size()) * font.lineHeight, status.height) << text;
          for (const std::string& line : lines) EXPECT_LE(font.textWidth(line), status.width);
        }
        for (const std::string& caption : kButtonCaptions) {
          EXPECT_LT(TextWidthForFont(font, caption.substr(1)), layout.controls.cancelButton.width);
        }
      }
    }
  }
}

// Which concession each size needs, and from which size on even all of them
// are not enough. The buttons stack where two of them, each at its caption
// with a little room, are wider than the work area; the progress bar gets
// less than twice a button's height (but at least a status line) where the
// work area is too low for it. Sizes at or below keptUpTo keep their points.
TEST(LayoutWindow, TheConfiguredSizeStaysWhereStackingAndAShorterBarMakeItFit) {
  constexpr int kNever = 73;
  const WorkArea small{0, 0, 1280, 1024};
  const WorkArea wide{0, 0, 1920, 1080};
  struct Row {
    WorkArea workArea;
    int dpi;
    double advance;
    int stackedFrom, shortBarFrom, keptUpTo;
    // Above keptUpTo the window is higher than the work area, and from
    // tooWideFrom on one button alone is wider than it.
    int tooWideFrom;
  };
  const Row rows[] = {
      {small, 96, kArial, kNever, kNever, 72, kNever},
      {small, 144, kArial, 54, 57, 63, kNever},
      {small, 192, kArial, 40, 42, 46, kNever},
      {wide, 96, kArial, kNever, kNever, 72, kNever},
      {wide, 144, kArial, kNever, kNever, 72, kNever},
      {wide, 192, kArial, kNever, 60, 60, kNever},
      // The bold 72 points that once shrank at 96 dpi: stacked, kept.
      {small, 96, kWideBold, 63, kNever, 72, kNever},
      {small, 144, kWideBold, 42, 53, 54, kNever},
      {small, 192, kWideBold, 31, 39, 39, 62},
      {wide, 96, kWideBold, kNever, kNever, 72, kNever},
      {wide, 144, kWideBold, 63, 66, 67, kNever},
      {wide, 192, kWideBold, 47, 49, 49, kNever},
  };
  for (const Row& row : rows) {
    for (int points = 8; points <= 72; ++points) {
      SCOPED_TRACE(std::to_string(row.workArea.width) + " wide, " + std::to_string(row.dpi) +
                   " dpi, " + (row.advance == kArial ? "Arial, " : "wide bold, ") +
                   std::to_string(points) + " points");
      const WindowLayoutRequest request = RequestFor(row.workArea, points, row.dpi, row.advance);
      const FontSizeTrial trial = LayoutAtFontSize(request, points);
      const FontMisfit misfit = points <= row.keptUpTo     ? FontMisfit::kNone
                                : points < row.tooWideFrom ? FontMisfit::kHigherThanWorkArea
                                                           : FontMisfit::kButtonWiderThanWorkArea;
      EXPECT_EQ(trial.misfit, misfit);
      EXPECT_EQ(LayoutWindow(request).fontPoints, std::min(points, row.keptUpTo));
      if (points > row.keptUpTo) continue;

      const WindowControlsLayout& controls = trial.layout.controls;
      EXPECT_EQ(trial.layout.buttons, points >= row.stackedFrom ? ButtonArrangement::kStacked
                                                                : ButtonArrangement::kSideBySide);
      const int fullBar = 2 * controls.cancelButton.height;
      EXPECT_EQ(controls.progress.height < fullBar, points >= row.shortBarFrom);
      EXPECT_GE(controls.progress.height, request.fontAt(points).lineHeight);
    }
  }
}

TEST(LayoutWindow, TheUsualWindowWhereEverythingFitsAndGrowthWhereNot) {
  const WorkArea workArea{0, 0, 1920, 1080};
  const WindowLayout usual = LayoutWindow(RequestFor(workArea, 12, 96));
  EXPECT_EQ(usual.window, WindowSizeForWorkArea(workArea));
  EXPECT_EQ(usual.controls.status.height, FontOfPoints(12).lineHeight);

  // 60 points on 1280 × 1024: wider up to the work area, then two lines and
  // a taller window.
  const WindowLayoutRequest large = RequestFor({0, 0, 1280, 1024}, 60, 96);
  const WindowLayout grown = LayoutWindow(large);
  EXPECT_EQ(grown.fontPoints, 60);
  EXPECT_EQ(grown.window.width, 1280);
  EXPECT_GT(grown.window.height, WindowSizeForWorkArea(large.workArea).height);
  EXPECT_EQ(grown.controls.status.height, 2 * FontOfPoints(60).lineHeight);
}
