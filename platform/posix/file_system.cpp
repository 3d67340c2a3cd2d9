// Files and folders on POSIX. Attributes have no direct counterpart: clearing
// them means the owner may write the file again.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/file_system.h"
#include "platform/paths.h"

// ---- Opening ----

// A file is never written through a link, which could lead to any file the
// updater may write; O_EXCL refuses every existing name, a link included.
// Reading follows links: an installed product may hold some, and nobody else
// can place one in the updater's own folders.
std::FILE* OpenFile(const std::string& path, FileOpenMode mode) {
  int flags = O_CLOEXEC;
  const char* stdioMode = "rb";
  switch (mode) {
    case FileOpenMode::Read:
    case FileOpenMode::ReadDenyWrite:
      flags |= O_RDONLY;
      break;
    case FileOpenMode::CreateExclusive:
      flags |= O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW;
      stdioMode = "wb";
      break;
    case FileOpenMode::CreateNew:
      flags |= O_WRONLY | O_CREAT | O_EXCL;
      stdioMode = "wb";
      break;
    case FileOpenMode::Append:
      flags |= O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW;
      stdioMode = "ab";
      break;
  }
  const int fd = open(path.c_str(), flags, 0644);
  if (fd < 0) return nullptr;
  // A folder opens for reading (but never for writing); it is no file.
  struct stat info {};
  if ((flags & O_WRONLY) == 0 && (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode))) {
    close(fd);
    return nullptr;
  }
  std::FILE* stream = fdopen(fd, stdioMode);
  if (stream == nullptr) close(fd);
  return stream;
}

// ---- Tests and changes ----

bool FileExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool DeleteFileOnce(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
  return unlink(path.c_str()) == 0;
}

void ClearFileAttributes(const std::string& path) {
  struct stat info {};
  // Unchanged modes are not written: a change costs a metadata write.
  if (stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) && (info.st_mode & S_IWUSR) == 0) {
    chmod(path.c_str(), (info.st_mode & 07777) | S_IWUSR);
  }
}

bool SetReadOnly(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  return chmod(path.c_str(), info.st_mode & 07777 & ~(S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool MarkExecutable(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  const mode_t readable = info.st_mode & (S_IRUSR | S_IRGRP | S_IROTH);
  return chmod(path.c_str(), (info.st_mode & 07777) | (readable >> 2)) == 0;
}

bool ForceDirectories(const std::string& folder) {
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty() || DirectoryExists(path)) return !path.empty();
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !ForceDirectories(path.substr(0, slash))) {
    return false;
  }
  return mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && DirectoryExists(path));
}

bool RemoveDir(const std::string& folder) { return rmdir(folder.c_str()) == 0; }

bool ReplaceFileWith(const std::string& source, const std::string& destination) {
  // An installed program must stay executable when its new content arrives.
  struct stat old {};
  struct stat now {};
  if (stat(destination.c_str(), &old) == 0 && S_ISREG(old.st_mode) &&
      stat(source.c_str(), &now) == 0 && (now.st_mode & 07777) != (old.st_mode & 07777) &&
      chmod(source.c_str(), old.st_mode & 07777) != 0) {
    return false;
  }
  return rename(source.c_str(), destination.c_str()) == 0;
}

bool MoveFileWithin(const std::string& source, const std::string& destination) {
  // A file system that cannot refuse to replace answers EINVAL: not moved.
  return renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0;
}

bool SetPermissionBits(const std::string& path, unsigned bits) {
  return chmod(path.c_str(), bits & 07777) == 0;
}

std::int64_t FreeDiskSpace(const std::string& folder) {
  struct statvfs info {};
  if (statvfs(folder.c_str(), &info) != 0) return -1;
  return static_cast<std::int64_t>(info.f_bavail) * static_cast<std::int64_t>(info.f_frsize);
}

bool TruncateFile(std::FILE* file, std::int64_t size) {
  return std::fflush(file) == 0 && ftruncate(fileno(file), static_cast<off_t>(size)) == 0;
}

bool FlushFileToDisk(std::FILE* file) { return std::fflush(file) == 0 && fsync(fileno(file)) == 0; }

bool FlushFolderToDisk(const std::string& folder) {
  // One syncfs costs far less than a flush of each of thousands of files.
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool flushed = syncfs(fd) == 0;
  close(fd);
  return flushed;
}

// ---- Listing ----

std::vector<DirEntry> ListDirectory(const std::string& folder) {
  std::vector<DirEntry> entries;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return entries;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    // A link to a folder is no folder here, so that no walk goes round in a
    // circle; the entry's type spares a look at each file where the file
    // system gives it.
    bool isDirectory = entry->d_type == DT_DIR;
    bool isLink = entry->d_type == DT_LNK;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat info {};
      const bool known = lstat((IncludeTrailingDelimiter(folder) + name).c_str(), &info) == 0;
      isDirectory = known && S_ISDIR(info.st_mode);
      isLink = known && S_ISLNK(info.st_mode);
    }
    entries.push_back({name, isDirectory, isLink});
  }
  closedir(dir);
  return entries;
}

// ---- Temporary folder ----

std::string GetTempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  return IncludeTrailingDelimiter(folder);
}
