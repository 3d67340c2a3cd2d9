#include "instant_clock.h"

InstantClock& TestClock() {
  static InstantClock clock;
  return clock;
}

namespace {

// Before any test runs, and for all of them.
const ScopedClock kInstantPauses(TestClock());

}  // namespace
