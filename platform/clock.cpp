#include "platform/clock.h"

#include <algorithm>
#include <chrono>
#include <future>
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

// The window's thread's own: work handed to another thread pauses without
// answering, and never answers from there.
std::function<bool()>& AnsweringHook() {
  thread_local std::function<bool()> hook;
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
  thread_local Steady::time_point lastAnswer;
  const Steady::time_point now = Steady::now();
  if (!AnsweringHook() || now - lastAnswer < std::chrono::milliseconds(kAnsweringSliceMs)) {
    return true;
  }
  lastAnswer = now;
  return AnsweringHook()();
}

bool AnswerWhileWaitingFor(const std::function<bool()>& work) {
  if (!AnsweringHook()) return work();
  std::future<bool> done = std::async(std::launch::async, work);
  while (done.wait_for(std::chrono::milliseconds(kAnsweringSliceMs)) != std::future_status::ready) {
    AnsweringHook()();
  }
  return done.get();
}

ScopedAnsweringHook::ScopedAnsweringHook(std::function<bool()> answer)
    : previous_(std::exchange(AnsweringHook(), std::move(answer))) {}

ScopedAnsweringHook::~ScopedAnsweringHook() { AnsweringHook() = std::move(previous_); }
