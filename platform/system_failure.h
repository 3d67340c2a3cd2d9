// The operating system's error codes as failures (platform port): each OS
// file turns its own codes (POSIX errno, Windows GetLastError) into a
// Failure here and nowhere else.
#pragma once

#include <string>

#include "base/failure.h"

// The error of the system call that failed just now, in `action` on `place`.
Failure LastSystemFailure(const std::string& action, const std::string& place);
// An error code of this OS that the caller saved.
Failure SystemFailure(long code, const std::string& action, const std::string& place);

// Cleaning up after a failure keeps the failure's code for LastSystemFailure.
class SystemErrorKept {
 public:
  SystemErrorKept();
  ~SystemErrorKept();
  SystemErrorKept(const SystemErrorKept&) = delete;
  SystemErrorKept& operator=(const SystemErrorKept&) = delete;

 private:
  long code_;
};
