#include "platform/clock.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace {

class SystemClock final : public Clock {
 public:
  void Sleep(int milliseconds) override {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

Clock*& CurrentClock() {
  static SystemClock system;
  static Clock* current = &system;
  return current;
}

std::function<bool()>& AnsweringHook() {
  static std::function<bool()> hook;
  return hook;
}

}  // namespace

ScopedClock::ScopedClock(Clock& clock) : previous_(std::exchange(CurrentClock(), &clock)) {}

ScopedClock::~ScopedClock() { CurrentClock() = previous_; }

void PauseAnsweringMs(int milliseconds) {
  for (int left = milliseconds; left > 0; left -= kAnsweringSliceMs) {
    if (AnsweringHook()) AnsweringHook()();
    CurrentClock()->Sleep(std::min(left, kAnsweringSliceMs));
  }
}

bool AnswerWhileWorking() {
  using Steady = std::chrono::steady_clock;
  static Steady::time_point lastAnswer;
  const Steady::time_point now = Steady::now();
  if (!AnsweringHook() || now - lastAnswer < std::chrono::milliseconds(kAnsweringSliceMs)) {
    return true;
  }
  lastAnswer = now;
  return AnsweringHook()();
}

ScopedAnsweringHook::ScopedAnsweringHook(std::function<bool()> answer)
    : previous_(std::exchange(AnsweringHook(), std::move(answer))) {}

ScopedAnsweringHook::~ScopedAnsweringHook() { AnsweringHook() = std::move(previous_); }
