#include "platform/system_failure.h"

#include <cerrno>
#include <cstring>

namespace {

FailureKind KindOfErrno(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return FailureKind::DiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
    case ELOOP:
      return FailureKind::Access;
    case ENOENT:
    case ENOTDIR:
      return FailureKind::NotFound;
    default:
      return FailureKind::System;
  }
}

}  // namespace

Failure SystemFailure(long code, const std::string& action, const std::string& place) {
  const int error = static_cast<int>(code);
  return {KindOfErrno(error), FailureCode::System, code, action, place, std::strerror(error)};
}

Failure LastSystemFailure(const std::string& action, const std::string& place) {
  return SystemFailure(errno, action, place);
}

SystemErrorKept::SystemErrorKept() : code_(errno) {}

SystemErrorKept::~SystemErrorKept() { errno = static_cast<int>(code_); }
