#include <gtest/gtest.h>

#include <vector>

#include "../support/instant_clock.h"
#include "platform/clock.h"

TEST(Clock, AnAnsweringPauseLetsTheWindowAnswerBetweenShortSlices) {
  TestClock().sleeps.clear();
  int answered = 0;
  const ScopedAnsweringHook hook([&answered] { return ++answered > 0; });

  PauseAnsweringMs(25);
  EXPECT_EQ(TestClock().sleeps, (std::vector<int>{10, 10, 5}));
  EXPECT_EQ(answered, 3);
}

TEST(Clock, WithoutAHookAnAnsweringPauseOnlyWaits) {
  TestClock().sleeps.clear();
  PauseAnsweringMs(10);
  EXPECT_EQ(TestClock().sleeps, std::vector<int>{10});
}
