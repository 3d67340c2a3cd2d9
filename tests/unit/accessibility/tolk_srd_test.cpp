#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "accessibility/tolk_srd.h"
#include "fake_screen_reader_port.h"
#include "screen_reader_driver_double.h"

namespace {

struct DispatcherFixture {
  DriverLog jaws;
  DriverLog nvda;
  int factoryCalls = 0;
  FakeScreenReaderPort port;
  TTolkSRD tolk{[this] {
                  ++factoryCalls;
                  return TTolkSRD::Drivers{std::make_unique<DriverDouble>("JAWS", jaws),
                                           std::make_unique<DriverDouble>("NVDA", nvda)};
                },
                port};
};

}  // namespace

// ---- Detection ----

TEST(TolkSRD, JawsWinsWhenBothRun) {
  DispatcherFixture f;
  f.tolk.Load();
  f.jaws.active = f.nvda.active = true;
  EXPECT_EQ(f.tolk.DetectScreenReader(), "JAWS");
  EXPECT_TRUE(f.tolk.Speak("Hallo", false));
  EXPECT_EQ(f.jaws.spoken, std::vector<std::string>{"Hallo"});
  EXPECT_TRUE(f.nvda.spoken.empty());
  EXPECT_EQ(f.nvda.isActiveCalls, 0);
}

TEST(TolkSRD, ScreenReaderStartedOrClosedMidRunIsNoticedAtTheNextCall) {
  DispatcherFixture f;
  f.tolk.Load();
  EXPECT_FALSE(f.tolk.Speak("eins", false));
  EXPECT_EQ(f.tolk.DetectScreenReader(), "");

  f.nvda.active = true;
  EXPECT_TRUE(f.tolk.Speak("zwei", false));
  f.jaws.active = true;
  EXPECT_TRUE(f.tolk.Speak("drei", false));
  f.jaws.active = false;
  EXPECT_TRUE(f.tolk.Speak("vier", false));

  EXPECT_EQ(f.nvda.spoken, (std::vector<std::string>{"zwei", "vier"}));
  EXPECT_EQ(f.jaws.spoken, std::vector<std::string>{"drei"});
}

TEST(TolkSRD, ChosenDriverIsAskedTwiceAndASecondNoMeansNone) {
  DispatcherFixture f;
  f.tolk.Load();
  f.jaws.active = true;
  EXPECT_EQ(f.tolk.DetectScreenReader(), "JAWS");
  EXPECT_EQ(f.jaws.isActiveCalls, 2);

  f.jaws.activeAnswersLeft = 1;
  f.nvda.active = true;
  EXPECT_FALSE(f.tolk.Speak("Hallo", false));
  EXPECT_TRUE(f.jaws.spoken.empty());
  EXPECT_TRUE(f.nvda.spoken.empty());
}

TEST(TolkSRD, FailureWhileAskingCountsAsNoScreenReader) {
  DispatcherFixture f;
  f.tolk.Load();
  f.jaws.throwOnIsActive = true;
  f.nvda.active = true;
  EXPECT_EQ(f.tolk.DetectScreenReader(), "");
  EXPECT_FALSE(f.tolk.Speak("Hallo", false));
  EXPECT_FALSE(f.tolk.HasSpeech());
  EXPECT_TRUE(f.nvda.spoken.empty());
}

// ---- Operations ----

TEST(TolkSRD, OperationsForwardToTheChosenDriver) {
  DispatcherFixture f;
  f.tolk.Load();
  f.nvda.active = true;
  EXPECT_TRUE(f.tolk.HasSpeech());
  EXPECT_TRUE(f.tolk.HasBraille());
  EXPECT_TRUE(f.tolk.Output("a", true));
  EXPECT_TRUE(f.tolk.Braille("b"));
  EXPECT_TRUE(f.tolk.Stop());
  EXPECT_TRUE(f.tolk.Silence());
  EXPECT_FALSE(f.tolk.IsSpeaking());
  EXPECT_EQ(f.nvda.spoken, std::vector<std::string>{"a"});
  EXPECT_EQ(f.nvda.brailled, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(f.nvda.silenced, 2);
}

TEST(TolkSRD, EveryOperationBeforeLoadAnswersFalseOrEmpty) {
  DispatcherFixture f;
  f.jaws.active = f.nvda.active = true;
  EXPECT_FALSE(f.tolk.IsLoaded());
  EXPECT_EQ(f.tolk.DetectScreenReader(), "");
  EXPECT_FALSE(f.tolk.HasSpeech());
  EXPECT_FALSE(f.tolk.HasBraille());
  EXPECT_FALSE(f.tolk.Output("a", false));
  EXPECT_FALSE(f.tolk.Speak("a", false));
  EXPECT_FALSE(f.tolk.Braille("a"));
  EXPECT_FALSE(f.tolk.Stop());
  EXPECT_FALSE(f.tolk.IsSpeaking());
  EXPECT_FALSE(f.tolk.Silence());
  EXPECT_EQ(f.factoryCalls, 0);
}

TEST(TolkSRD, EmptyTextAnswersFalseWithoutAskingAnyScreenReader) {
  DispatcherFixture f;
  f.tolk.Load();
  f.jaws.active = true;
  EXPECT_FALSE(f.tolk.Speak("", false));
  EXPECT_FALSE(f.tolk.Output("", true));
  EXPECT_FALSE(f.tolk.Braille(""));
  EXPECT_EQ(f.jaws.isActiveCalls, 0);
  EXPECT_EQ(f.nvda.isActiveCalls, 0);
}

// ---- Loading ----

TEST(TolkSRD, SecondLoadCreatesNothingAndUnloadFreesBothDrivers) {
  DispatcherFixture f;
  f.tolk.Load();
  f.tolk.Load();
  EXPECT_TRUE(f.tolk.IsLoaded());
  EXPECT_EQ(f.factoryCalls, 1);
  EXPECT_FALSE(f.jaws.destroyed);

  f.tolk.Unload();
  EXPECT_TRUE(f.jaws.destroyed);
  EXPECT_TRUE(f.nvda.destroyed);
  EXPECT_FALSE(f.tolk.IsLoaded());
  EXPECT_EQ(f.tolk.DetectScreenReader(), "");
}

TEST(TolkSRD, ComCountOfTheThreadIsBalancedOverLoadAndDestruction) {
  const std::optional<ComApartment> before[] = {std::nullopt, ComApartment::kMultithreaded,
                                                ComApartment::kApartmentThreaded};
  for (const auto& mode : before) {
    FakeScreenReaderPort port;
    if (mode) port.PreInitialiseCom(*mode);
    const int startCount = port.comCount;
    {
      port.jawsWindow = port.nvdaWindow = true;
      TTolkSRD tolk(port);  // the real drivers on the fake port
      tolk.Load();
      tolk.Load();
      EXPECT_EQ(tolk.DetectScreenReader(), "JAWS");
      port.jawsWindow = false;
      EXPECT_EQ(tolk.DetectScreenReader(), "NVDA");
      EXPECT_EQ(tolk.DetectScreenReader(), "NVDA");
      EXPECT_GE(port.comCount, startCount);
    }
    EXPECT_EQ(port.comCount, startCount);
    EXPECT_FALSE(port.comUninitialisedTooOften);
    EXPECT_EQ(port.jawsObjectsAlive, 0);
    EXPECT_FALSE(port.nvdaLoaded);
  }
}

TEST(TolkSRD, JawsWindowWithoutApiObjectFallsBackToNvda) {
  FakeScreenReaderPort port;
  port.jawsWindow = true;
  port.jawsCreatable = false;
  TTolkSRD tolk(port);
  tolk.Load();
  EXPECT_FALSE(tolk.Speak("Hallo", false));

  port.nvdaWindow = true;
  EXPECT_TRUE(tolk.Speak("Hallo", false));
  EXPECT_EQ(port.nvdaSpoken, std::vector<std::string>{"Hallo"});
  EXPECT_TRUE(port.jawsSaid.empty());
}
