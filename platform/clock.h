// Every pause of the run goes through one clock, so that tests can put in a
// clock that never sleeps. The window keeps answering during every pause.
#pragma once

#include <functional>

class Clock {
 public:
  virtual ~Clock() = default;
  virtual void Sleep(int milliseconds) = 0;
};

// Puts a clock in place of the system's for the life of the object.
class ScopedClock {
 public:
  explicit ScopedClock(Clock& clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  Clock* previous_;
};

// A pause during which the window keeps answering: the answering hook runs
// between slices of at most kAnsweringSliceMs.
void PauseAnsweringMs(int milliseconds);
inline constexpr int kAnsweringSliceMs = 10;

// Long work (unpacking, hashing, copying, parsing) calls this between its
// pieces, as often as it likes: the answering hook runs when the last answer
// is kAnsweringSliceMs old. False when it then said the run was cancelled,
// so that work that can stop does.
bool AnswerWhileWorking();

// Work that cannot be cut into pieces (a flush to the disk, the end of a
// connection) runs on a thread of its own while the window keeps answering
// between slices of kAnsweringSliceMs; its result. No cancel stops it, and
// pauses inside it do not answer.
bool AnswerWhileWaitingFor(const std::function<bool()>& work);

// Puts the window's message processing in place as the answering hook for
// the life of the object; it answers whether the run goes on.
class ScopedAnsweringHook {
 public:
  explicit ScopedAnsweringHook(std::function<bool()> answer);
  ~ScopedAnsweringHook();
  ScopedAnsweringHook(const ScopedAnsweringHook&) = delete;
  ScopedAnsweringHook& operator=(const ScopedAnsweringHook&) = delete;

 private:
  std::function<bool()> previous_;
};
