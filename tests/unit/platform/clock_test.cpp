#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
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

// Work that cannot be cut into pieces runs beside the window: it may wait
// for the window's answers, and its own pauses never answer from its thread.
TEST(Clock, WorkBesideTheWindowLetsTheWindowAnswerFromItsOwnThreadOnly) {
  const std::thread::id window = std::this_thread::get_id();
  std::promise<void> answeredOnce;
  std::atomic<bool> answered{false};
  std::atomic<bool> answeredElsewhere{false};
  const ScopedAnsweringHook hook([&] {
    if (std::this_thread::get_id() != window) answeredElsewhere = true;
    if (!answered.exchange(true)) answeredOnce.set_value();
    return true;
  });

  const bool result = AnswerWhileWaitingFor([&] {
    PauseAnsweringMs(10);
    // Bounded against a hang only: work run in place would wait here.
    return answeredOnce.get_future().wait_for(std::chrono::seconds(60)) ==
           std::future_status::ready;
  });
  EXPECT_TRUE(result);
  EXPECT_FALSE(answeredElsewhere);
}
