#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "accessibility/screen_reader_driver_jaws.h"
#include "accessibility/screen_reader_driver_nvda.h"
#include "fake_screen_reader_port.h"

namespace {

// A port with both screen readers running and answering success.
FakeScreenReaderPort BothRunning() {
  FakeScreenReaderPort port;
  port.jawsWindow = true;
  port.nvdaWindow = true;
  return port;
}

}  // namespace

// ---- JAWS ----

TEST(JawsDriver, BrailleRunsBrailleStringWithDoubleQuotesTurnedSingle) {
  struct Case {
    std::string text;
    std::string call;
  };
  const Case cases[] = {
      {"Entpacke Archiv...", "BrailleString(\"Entpacke Archiv...\")"},
      {"\"Produkt\" ist bereits aktuell!", "BrailleString(\"'Produkt' ist bereits aktuell!\")"},
      {"it's \"%s\" 100%", "BrailleString(\"it's '%s' 100%\")"},
  };
  for (const Case& c : cases) {
    FakeScreenReaderPort port = BothRunning();
    TScreenReaderDriverJAWS jaws("JAWS", true, true, port);
    EXPECT_TRUE(jaws.Braille(c.text)) << c.text;
    ASSERT_EQ(port.jawsFunctions.size(), 1u) << c.text;
    EXPECT_EQ(port.jawsFunctions[0], c.call);
  }
}

TEST(JawsDriver, SpeakPassesInterruptAsFlushAndNeedsSuccessCodeAndTrueFlag) {
  struct Case {
    JawsReply reply;
    bool expected;
  };
  const Case cases[] = {
      {{0, -1}, true},                                       // S_OK, VARIANT_TRUE
      {{1, -1}, true},                                       // S_FALSE is a success code
      {{0, 0}, false},                                       // JAWS declined
      {{0, 1}, false},                                       // only -1 is VARIANT_TRUE
      {{static_cast<std::int32_t>(0x80004005), -1}, false},  // E_FAIL
  };
  for (const Case& c : cases) {
    for (const bool interrupt : {false, true}) {
      FakeScreenReaderPort port = BothRunning();
      port.sayReply = c.reply;
      port.runReply = c.reply;
      TScreenReaderDriverJAWS jaws("JAWS", true, true, port);
      EXPECT_EQ(jaws.Speak("Hallo", interrupt), c.expected);
      EXPECT_EQ(jaws.Braille("Hallo"), c.expected);
      ASSERT_EQ(port.jawsSaid.size(), 1u);
      EXPECT_EQ(port.jawsSaid[0].text, "Hallo");
      EXPECT_EQ(port.jawsSaid[0].flush, interrupt);
    }
  }
}

TEST(JawsDriver, WindowGoneReleasesTheObjectAndWindowBackCreatesANewOne) {
  FakeScreenReaderPort port = BothRunning();
  TScreenReaderDriverJAWS jaws("JAWS", true, true, port);
  EXPECT_EQ(port.jawsObjectsCreated, 1);  // taken at construction
  EXPECT_TRUE(jaws.IsActive());
  EXPECT_EQ(port.jawsObjectsCreated, 1);

  port.jawsWindow = false;
  EXPECT_FALSE(jaws.IsActive());
  EXPECT_EQ(port.jawsObjectsAlive, 0);
  EXPECT_FALSE(jaws.Speak("Hallo", false));
  EXPECT_FALSE(jaws.Braille("Hallo"));
  EXPECT_FALSE(jaws.Silence());
  EXPECT_TRUE(port.jawsSaid.empty());

  port.jawsWindow = true;
  EXPECT_TRUE(jaws.IsActive());
  EXPECT_EQ(port.jawsObjectsCreated, 2);
  EXPECT_EQ(port.jawsObjectsAlive, 1);
  EXPECT_TRUE(jaws.Speak("Hallo", false));
}

TEST(JawsDriver, WindowWithoutCreatableObjectIsNotActive) {
  FakeScreenReaderPort port = BothRunning();
  port.jawsCreatable = false;
  TScreenReaderDriverJAWS jaws("JAWS", true, true, port);
  EXPECT_FALSE(jaws.IsActive());
  EXPECT_FALSE(jaws.Speak("Hallo", false));
  port.jawsCreatable = true;
  EXPECT_TRUE(jaws.IsActive());
}

TEST(JawsDriver, ComCountOfTheThreadIsBalancedOverManyDetections) {
  // The thread fresh, already in the multithreaded apartment (the dispatcher
  // got there first), or already apartment-threaded.
  const std::optional<ComApartment> before[] = {std::nullopt, ComApartment::kMultithreaded,
                                                ComApartment::kApartmentThreaded};
  for (const auto& mode : before) {
    FakeScreenReaderPort port;
    if (mode) port.PreInitialiseCom(*mode);
    const int startCount = port.comCount;
    {
      port.jawsCreatable = false;
      port.jawsWindow = true;
      TScreenReaderDriverJAWS jaws("JAWS", true, true, port);
      for (int i = 0; i < 5; ++i) jaws.IsActive();  // window, no object: retried each time
      EXPECT_LE(port.comCount, startCount + 1);
      port.jawsWindow = false;
      for (int i = 0; i < 5; ++i) jaws.IsActive();  // released each time
      EXPECT_EQ(port.comCount, startCount);
      port.jawsWindow = true;
      port.jawsCreatable = true;
      EXPECT_TRUE(jaws.IsActive());
    }
    EXPECT_EQ(port.comCount, startCount);
    EXPECT_FALSE(port.comUninitialisedTooOften);
    EXPECT_EQ(port.jawsObjectsAlive, 0);
  }
}

// ---- NVDA ----

TEST(NvdaDriver, InterruptingSpeakWithFailingOrMissingCancelSpeaksNothing) {
  for (const bool cancelPresent : {false, true}) {
    FakeScreenReaderPort port = BothRunning();
    port.cancelResult = 1;
    if (!cancelPresent) port.nvdaPresentExports.erase("nvdaController_cancelSpeech");
    TScreenReaderDriverNVDA nvda("NVDA", true, true, port);
    EXPECT_FALSE(nvda.Speak("Hallo", true));
    EXPECT_TRUE(port.nvdaSpoken.empty());
    EXPECT_EQ(port.nvdaCancels, cancelPresent ? 1 : 0);
  }
}

TEST(NvdaDriver, InterruptingSpeakCancelsFirstThenSpeaks) {
  FakeScreenReaderPort port = BothRunning();
  TScreenReaderDriverNVDA nvda("NVDA", true, true, port);
  EXPECT_TRUE(nvda.Speak("Hallo", true));
  EXPECT_EQ(port.nvdaCancels, 1);
  EXPECT_TRUE(nvda.Speak("Welt", false));
  EXPECT_EQ(port.nvdaCancels, 1);
  EXPECT_EQ(port.nvdaSpoken, (std::vector<std::string>{"Hallo", "Welt"}));
  port.speakResult = 5;
  EXPECT_FALSE(nvda.Speak("Hallo", false));
}

TEST(NvdaDriver, ActiveOnlyWithRunningTestExportWindowAndZeroAnswer) {
  struct Case {
    const char* what;
    bool loadable;
    bool testExport;
    bool window;
    std::int32_t running;
    bool expected;
  };
  const Case cases[] = {
      {"all present", true, true, true, 0, true},
      {"library missing", false, true, true, 0, false},
      {"export missing", true, false, true, 0, false},
      {"window missing", true, true, false, 0, false},
      {"library says not running", true, true, true, 1, false},
  };
  for (const Case& c : cases) {
    FakeScreenReaderPort port;
    port.nvdaLoadable = c.loadable;
    if (!c.testExport) port.nvdaPresentExports.erase("nvdaController_testIfRunning");
    port.nvdaWindow = c.window;
    port.testIfRunningResult = c.running;
    TScreenReaderDriverNVDA nvda("NVDA", true, true, port);
    EXPECT_EQ(nvda.IsActive(), c.expected) << c.what;
    // A driver that could not load the library never loads it again.
    port.nvdaLoadable = true;
    EXPECT_EQ(nvda.IsActive(), c.expected) << c.what;
    EXPECT_LE(port.nvdaLoads, 1) << c.what;
  }
}

TEST(NvdaDriver, LibraryHeldFromConstructionToDestruction) {
  FakeScreenReaderPort port = BothRunning();
  {
    TScreenReaderDriverNVDA nvda("NVDA", true, true, port);
    EXPECT_TRUE(port.nvdaLoaded);
    EXPECT_TRUE(nvda.IsActive());
  }
  EXPECT_FALSE(port.nvdaLoaded);
  EXPECT_EQ(port.nvdaLoads, 1);
}

// ---- Both drivers ----

TEST(ScreenReaderDrivers, OutputTrueWhenOnlyBrailleSucceeds) {
  FakeScreenReaderPort port = BothRunning();
  port.speakResult = 1;
  port.sayReply = {0, 0};
  TScreenReaderDriverNVDA nvda("NVDA", true, true, port);
  TScreenReaderDriverJAWS jaws("JAWS", true, true, port);
  for (TScreenReaderDriver* driver :
       {static_cast<TScreenReaderDriver*>(&nvda), static_cast<TScreenReaderDriver*>(&jaws)}) {
    EXPECT_TRUE(driver->Output("Hallo", false)) << driver->Name();
  }
  EXPECT_EQ(port.nvdaSpoken.size(), 1u);
  EXPECT_EQ(port.nvdaBrailled, std::vector<std::string>{"Hallo"});
  EXPECT_EQ(port.jawsSaid.size(), 1u);
  EXPECT_EQ(port.jawsFunctions.size(), 1u);

  // Braille follows even when speech succeeded; both failing is false.
  port.speakResult = 0;
  port.brailleResult = 1;
  EXPECT_TRUE(nvda.Output("Welt", false));
  EXPECT_EQ(port.nvdaBrailled.size(), 2u);
  port.speakResult = 1;
  EXPECT_FALSE(nvda.Output("Welt", false));
}

TEST(ScreenReaderDrivers, EmptyTextNeverReachesTheScreenReader) {
  FakeScreenReaderPort port = BothRunning();
  TScreenReaderDriverNVDA nvda("NVDA", true, true, port);
  TScreenReaderDriverJAWS jaws("JAWS", true, true, port);
  for (TScreenReaderDriver* driver :
       {static_cast<TScreenReaderDriver*>(&nvda), static_cast<TScreenReaderDriver*>(&jaws)}) {
    EXPECT_FALSE(driver->Speak("", false)) << driver->Name();
    EXPECT_FALSE(driver->Speak("", true)) << driver->Name();
    EXPECT_FALSE(driver->Braille("")) << driver->Name();
    EXPECT_FALSE(driver->Output("", true)) << driver->Name();
  }
  EXPECT_TRUE(port.nvdaSpoken.empty());
  EXPECT_TRUE(port.nvdaBrailled.empty());
  EXPECT_TRUE(port.jawsSaid.empty());
  EXPECT_TRUE(port.jawsFunctions.empty());
  // Only NVDA's interrupting Speak cancels before it answers.
  EXPECT_EQ(port.nvdaCancels, 2);
  EXPECT_EQ(port.jawsStops, 0);
}

TEST(ScreenReaderDrivers, IsSpeakingIsAlwaysFalseAndNameAndFlagsAreKept) {
  FakeScreenReaderPort port = BothRunning();
  TScreenReaderDriverNVDA nvda("NVDA", true, false, port);
  TScreenReaderDriverJAWS jaws("JAWS", false, true, port);
  ASSERT_TRUE(nvda.IsActive());
  ASSERT_TRUE(jaws.IsActive());
  EXPECT_TRUE(jaws.Speak("Ein langer Satz", false));
  EXPECT_FALSE(jaws.IsSpeaking());
  EXPECT_FALSE(nvda.IsSpeaking());
  EXPECT_EQ(nvda.Name(), "NVDA");
  EXPECT_TRUE(nvda.HasSpeech());
  EXPECT_FALSE(nvda.HasBraille());
  EXPECT_EQ(jaws.Name(), "JAWS");
  EXPECT_FALSE(jaws.HasSpeech());
  EXPECT_TRUE(jaws.HasBraille());
}

TEST(ScreenReaderDrivers, SilenceStopsSpeech) {
  FakeScreenReaderPort port = BothRunning();
  TScreenReaderDriverNVDA nvda("NVDA", true, true, port);
  TScreenReaderDriverJAWS jaws("JAWS", true, true, port);
  EXPECT_TRUE(nvda.Silence());
  EXPECT_TRUE(jaws.Silence());
  port.cancelResult = 1;
  port.stopResult = static_cast<std::int32_t>(0x80004005);
  EXPECT_FALSE(nvda.Silence());
  EXPECT_FALSE(jaws.Silence());
  EXPECT_EQ(port.nvdaCancels, 2);
  EXPECT_EQ(port.jawsStops, 2);
}
