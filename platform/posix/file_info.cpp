// File questions on POSIX: stat for size and date, futimens for setting the
// date, and the portable reader for version resources.
#include "platform/file_info.h"
#include "platform/local_time.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "base/pe_version_resource.h"
#include "platform/posix/file_descriptor.h"

// ---- Helpers ----

namespace {

// An executable larger than this is no program of ours; it is not read whole.
constexpr off_t kMaxVersionFileSize = off_t{1} << 30;

// The whole content of a regular file; false for anything else or on a read
// error.
bool ReadWholeFile(const std::string& fileName, std::string& content) {
  const FileDescriptor file(open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat info {};
  if (file.get() < 0 || fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      info.st_size > kMaxVersionFileSize) {
    return false;
  }
  content.resize(static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t got = read(file.get(), content.data() + done, content.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;  // shrank while being read
    done += static_cast<std::size_t>(got);
  }
  content.resize(done);
  return true;
}

constexpr std::string_view kVersionKeys[] = {
    "companyname",      "filedescription", "fileversion",    "internalname", "legalcopyright",
    "originalfilename", "productname",     "productversion", "specialbuild",
};

}  // namespace

// ---- Size and date ----

std::int64_t GetFileSizeByName(const std::string& fileName) {
  struct stat info {};
  if (stat(fileName.c_str(), &info) != 0) return -1;
  return static_cast<std::int64_t>(info.st_size);
}

TDateTime GetFileDateByName(const std::string& fileName) {
  struct stat info {};
  if (stat(fileName.c_str(), &info) != 0) return 0;
  return UnixTimeToLocal(static_cast<std::int64_t>(info.st_mtim.tv_sec),
                         static_cast<int>(info.st_mtim.tv_nsec / 1000000));
}

FileFacts GetFileFacts(const std::string& fileName) {
  FileFacts facts;
  struct stat info {};
  if (stat(fileName.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return facts;
  facts.isFile = true;
  facts.size = static_cast<std::int64_t>(info.st_size);
  facts.date = UnixTimeToLocal(static_cast<std::int64_t>(info.st_mtim.tv_sec),
                               static_cast<int>(info.st_mtim.tv_nsec / 1000000));
  facts.permissionBits = info.st_mode & 07777;
  facts.attributesClear = (info.st_mode & S_IWUSR) != 0;
  return facts;
}

void ClearFileAttributesIfSet(const std::string& fileName, FileFacts& facts) {
  if (!facts.isFile || facts.attributesClear) return;
  if (chmod(fileName.c_str(), facts.permissionBits | S_IWUSR) != 0) return;
  facts.permissionBits |= S_IWUSR;
  facts.attributesClear = true;
}

bool SetFileDateByName(const std::string& fileName, TDateTime date) {
  TDateTime truncated;
  if (!TruncateToDosTime(date, truncated)) return false;

  // Windows needs the file open for writing to set its date; a file without
  // any write bit counts as read-only here even for root, who could open it.
  // Non-blocking, so that a FIFO without a reader fails instead of waiting.
  const FileDescriptor file(open(fileName.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat info {};
  if (file.get() < 0 || fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    return false;
  }
  struct timespec times[2]{};
  times[0].tv_nsec = UTIME_OMIT;  // access time unchanged
  times[1].tv_sec = static_cast<time_t>(LocalToUnixTime(truncated));
  times[1].tv_nsec = 0;
  return futimens(file.get(), times) == 0;
}

// ---- Version resource ----

void GetVersionInfoValue(const std::string& fileName, int index, std::string& value) {
  value.clear();
  if (index < 0 || index >= static_cast<int>(std::size(kVersionKeys))) return;
  std::string content;
  if (!ReadWholeFile(fileName, content)) return;
  value = ReadVersionString(content, kVersionKeys[index]);
}
