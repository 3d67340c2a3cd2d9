// The unit tests' clock: every pause returns at once and is only recorded.
// It is in place for the whole test program.
#pragma once

#include <vector>

#include "platform/clock.h"

class InstantClock final : public Clock {
 public:
  void Sleep(int milliseconds) override { sleeps.push_back(milliseconds); }
  std::vector<int> sleeps;
};

InstantClock& TestClock();
