// A failure that ends the run: the message the person sees, and its cause
// for the diagnostic log.
#pragma once

#include <string>

#include "base/failure.h"

struct RunFailure {
  std::string message;
  Failure cause;
};
