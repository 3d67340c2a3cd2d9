// Whole-file locks that belong to one open file description: released when
// the holder closes it or dies, never passed on to a started program (the
// descriptors are O_CLOEXEC), and testable without being taken, so a check
// never makes a concurrent taker fail.
#pragma once

#include <fcntl.h>

inline bool LockWholeFile(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

inline bool IsLockedByAnyone(int fd) {
  struct flock lock {};
  lock.l_type = F_RDLCK;
  lock.l_whence = SEEK_SET;
  return fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}
