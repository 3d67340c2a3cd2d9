#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../support/scripted_front_end.h"
#include "app/haupt.h"
#include "resources/texts.h"
#include "screen_reader_driver_double.h"

namespace {

// A TForm1 on a scripted front end whose dispatcher has one running screen
// reader that records what it is given.
struct AnnounceFixture {
  AnnounceFixture() {
    auto tolk = std::make_unique<TTolkSRD>([this] {
      reader.active = true;
      return TTolkSRD::Drivers{std::make_unique<DriverDouble>("NVDA", reader), nullptr};
    });
    form = std::make_unique<TForm1>(
        std::vector<std::string>{"/opt/q/Quennvoldar", "Produkt.cfg"},
        [this](FrontEndEvents& events) {
          auto frontEnd = std::make_unique<ScriptedFrontEnd>(events);
          ui = frontEnd.get();
          return frontEnd;
        },
        std::move(tolk));
    form->OnActivation(true);
  }

  DriverLog reader;
  ScriptedFrontEnd* ui = nullptr;
  std::unique_ptr<TForm1> form;
};

}  // namespace

TEST(AnnounceStatus, FirstAnnouncementDuringCreationIsShownButNotSpoken) {
  AnnounceFixture f;
  EXPECT_EQ(f.ui->StatusText(), kTextLoadingConfig);
  EXPECT_TRUE(f.reader.spoken.empty());
}

TEST(AnnounceStatus, SpeaksOnlyNewNonBlankTextsWhileActiveAndOutOfTheTray) {
  struct Step {
    bool active;
    bool inTray;
    std::string text;
    std::string statusLine;
    bool spoken;
  };
  struct Case {
    const char* what;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"same text twice",
       {{true, false, kTextConnecting, kTextConnecting, true},
        {true, false, kTextConnecting, kTextConnecting, false}}},
      {"blanks around the text",
       {{true, false, "  Entpacke Archiv...\t", kTextExtracting, true},
        {true, false, kTextExtracting, kTextExtracting, false}}},
      {"all-blank text",
       {{true, false, kTextCopying, kTextCopying, true},
        {true, false, " \t\r\n", "", false},
        {true, false, kTextCopying, kTextCopying, true}}},
      {"another application active",
       {{false, false, kTextDownloading, kTextDownloading, false},
        {true, false, kTextDownloaded, kTextDownloaded, true}}},
      {"hidden in the tray",
       {{true, true, kTextVerifying, kTextVerifying, false},
        {true, false, kTextCopying, kTextCopying, true}}},
  };
  for (const Case& c : cases) {
    AnnounceFixture f;
    std::vector<std::string> expectedSpeech;
    for (const Step& step : c.steps) {
      f.form->OnActivation(step.active);
      f.ui->SetTrayIconVisible(step.inTray);
      const std::size_t writes = f.ui->statusTexts.size();
      f.form->AnnounceStatus(step.text);
      EXPECT_EQ(f.ui->statusTexts.size(), writes + 1) << c.what;
      EXPECT_EQ(f.ui->StatusText(), step.statusLine) << c.what;
      if (step.spoken) expectedSpeech.push_back(step.text);
    }
    // Spoken untrimmed and without interrupting.
    EXPECT_EQ(f.reader.spoken, expectedSpeech) << c.what;
    EXPECT_EQ(f.reader.interrupts, std::vector<bool>(expectedSpeech.size(), false)) << c.what;
  }
}

TEST(AnnounceStatus, PendingEventsRunAfterTheLineIsWrittenAndBeforeItReturns) {
  AnnounceFixture f;
  std::string lineSeenByEvent;
  f.ui->onNextProcessMessages = [&] {
    lineSeenByEvent = f.ui->StatusText();
    f.form->OnMinimizeCommand();
  };
  f.form->AnnounceStatus(kTextConnecting);
  EXPECT_EQ(lineSeenByEvent, kTextConnecting);
  EXPECT_TRUE(f.ui->TrayIconVisible());
}

TEST(AnnounceStatus, TheWayToTheTrayIsSpokenFirstAndTheWayBackSpeaksTheCurrentLineOnce) {
  AnnounceFixture f;
  f.ui->ShowMainWindow();
  std::vector<bool> visibleWhileSpoken;
  f.reader.onSpeak = [&] { visibleWhileSpoken.push_back(f.ui->MainWindowVisible()); };
  f.form->AnnounceStatus(kTextConnecting);

  f.form->OnMinimizeCommand();
  EXPECT_FALSE(f.ui->MainWindowVisible());
  EXPECT_TRUE(f.ui->TrayIconVisible());
  // Passed in the tray: shown, not spoken.
  f.form->AnnounceStatus(kTextBuildingList);
  f.form->AnnounceStatus(kTextDownloading);

  f.form->OnTrayRestore();
  EXPECT_TRUE(f.ui->MainWindowVisible());
  EXPECT_FALSE(f.ui->TrayIconVisible());
  f.form->AnnounceStatus(kTextDownloading);
  f.form->AnnounceStatus(kTextDownloaded);

  EXPECT_EQ(f.reader.spoken, (std::vector<std::string>{kTextConnecting, kTextToTray,
                                                       kTextDownloading, kTextDownloaded}));
  // The way to the tray cuts what is being said; it is said while the window is still there.
  EXPECT_EQ(f.reader.interrupts, (std::vector<bool>{false, true, false, false}));
  EXPECT_EQ(visibleWhileSpoken, (std::vector<bool>{true, true, true, true}));
}
