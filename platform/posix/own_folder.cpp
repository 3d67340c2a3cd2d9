// The updater's own folders on POSIX. A shared temporary folder lets every
// user make folders in it; each folder below it is therefore made or opened
// relative to the one above and never through a link, so the folder looked
// at is the one the path leads to, whatever anyone renames meanwhile.
#include "platform/own_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/posix/file_descriptor.h"

namespace {

// Nobody but the user the updater runs as may change what it holds.
bool IsOwn(const struct stat& info) {
  return info.st_uid == geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// A link or someone else's entry where the folder belongs is not to be used;
// anything else that does not open as a folder is a failure.
OwnFolder WhyNotOpened(int parent, const std::string& name) {
  struct stat info {};
  if (fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
      (S_ISLNK(info.st_mode) || info.st_uid != geteuid())) {
    return OwnFolder::NotOwn;
  }
  return OwnFolder::Failed;
}

}  // namespace

OwnFolder PrepareOwnFolder(const std::string& folder) {
  // The temporary folder itself is the user's choice and trusted as it is.
  const std::string temp = GetTempFolder();
  if (folder.compare(0, temp.size(), temp) != 0) return OwnFolder::Failed;
  const std::string relative = folder.substr(temp.size());
  if (relative.find_first_not_of('/') == std::string::npos || !IsContainedRelativePath(relative)) {
    return OwnFolder::Failed;
  }
  FileDescriptor parent(open(temp.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (parent.get() < 0) return OwnFolder::Failed;
  for (std::size_t start = 0; start < relative.size();) {
    std::size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    const std::string name = relative.substr(start, end - start);
    start = end + 1;
    if (name.empty() || name == ".") continue;
    if (mkdirat(parent.get(), name.c_str(), 0700) != 0 && errno != EEXIST) {
      return OwnFolder::Failed;
    }
    FileDescriptor next(
        openat(parent.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (next.get() < 0) return WhyNotOpened(parent.get(), name);
    struct stat info {};
    if (fstat(next.get(), &info) != 0) return OwnFolder::Failed;
    if (!IsOwn(info)) return OwnFolder::NotOwn;
    parent = std::move(next);
  }
  return OwnFolder::Ready;
}

bool IsOwnFile(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && IsOwn(info);
}
