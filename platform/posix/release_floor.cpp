// The release floor on POSIX: a small file in a folder of the updater's own
// beside the uninstall entries. Both are opened without following links and
// must belong to the user the updater runs as, writable by nobody else; the
// file is only ever replaced whole.
#include "platform/release_floor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <optional>
#include <vector>

#include "platform/file_system.h"
#include "platform/posix/file_descriptor.h"
#include "platform/posix/registry_folder.h"
#include "platform/replacing_write.h"
#include "platform/system_failure.h"

namespace {

constexpr const char* kOwnFolderName = "Quennvoldar";

bool IsOwn(const struct stat& info) {
  return info.st_uid == geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string FileNameOf(const std::string& product) { return product + ".releases"; }

// The system call that failed just now, on the way to the floor at `place`.
StoredFloor FailedAt(const std::string& action, const std::string& place) {
  return {FloorAccess::Failed, 0, LastSystemFailure(action, place)};
}

StoredFloor NotOwnAt(const std::string& place) {
  return {FloorAccess::NotOwn,
          0,
          {FailureKind::Access, FailureCode::None, 0, "use release floor", place,
           "a link, someone else's, or writable by others"}};
}

// ---- The folder ----

// The updater's folder, made when missing; NotOwn when it is a link or
// someone else could have put things into it.
StoredFloor OpenOwnFolder(FileDescriptor& folder) {
  const std::string registry = RegistryFolder();
  const std::string own = registry + kOwnFolderName;
  if (!ForceDirectories(registry)) return FailedAt("make folder", registry);
  const FileDescriptor parent(open(registry.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (parent.get() < 0) return FailedAt("open", registry);
  if (mkdirat(parent.get(), kOwnFolderName, 0700) != 0 && errno != EEXIST) {
    return FailedAt("make folder", own);
  }
  folder = FileDescriptor(
      openat(parent.get(), kOwnFolderName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat info {};
  if (folder.get() < 0) {
    return errno == ELOOP || errno == ENOTDIR ? NotOwnAt(own) : FailedAt("open", own);
  }
  if (fstat(folder.get(), &info) != 0) return FailedAt("look at", own);
  return IsOwn(info) ? StoredFloor{FloorAccess::Ready, 0, {}} : NotOwnAt(own);
}

// ---- The file ----

struct FloorFile {
  StoredFloor state;               // Ready when the lines were read
  std::vector<std::string> lines;  // empty when there is no file yet
};

FloorFile ReadFloorFile(int folder, const std::string& name, const std::string& place) {
  const FileDescriptor file(openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (file.get() < 0) {
    if (errno == ENOENT) return {{FloorAccess::Ready, 0, {}}, {}};
    return {errno == ELOOP ? NotOwnAt(place) : FailedAt("open", place), {}};
  }
  struct stat info {};
  if (fstat(file.get(), &info) != 0) return {FailedAt("look at", place), {}};
  if (!S_ISREG(info.st_mode) || !IsOwn(info)) return {NotOwnAt(place), {}};
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t count = read(file.get(), buffer, sizeof buffer);
    if (count < 0) return {FailedAt("read", place), {}};
    if (count == 0) break;
    text.append(buffer, static_cast<std::size_t>(count));
  }
  FloorFile read{{FloorAccess::Ready, 0, {}}, {}};
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    read.lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return read;
}

// The number on the slot's line; 0 without one, nullopt when the line is
// not a number.
std::optional<std::int64_t> SlotValue(const std::vector<std::string>& lines,
                                      const std::string& slot) {
  const std::string prefix = slot + "=";
  for (const std::string& line : lines) {
    if (line.rfind(prefix, 0) != 0) continue;
    std::int64_t value = 0;
    const char* end = line.data() + line.size();
    const auto [stop, error] = std::from_chars(line.data() + prefix.size(), end, value);
    if (error != std::errc() || stop != end || value < 0) return std::nullopt;
    return value;
  }
  return 0;
}

}  // namespace

StoredFloor ReadReleaseFloor(const std::string& product, const std::string& slot) {
  FileDescriptor folder(-1);
  if (StoredFloor opened = OpenOwnFolder(folder); opened.access != FloorAccess::Ready) {
    return opened;
  }
  const std::string place = ReleaseFloorPlace(product);
  FloorFile file = ReadFloorFile(folder.get(), FileNameOf(product), place);
  if (file.state.access != FloorAccess::Ready) return std::move(file.state);
  const std::optional<std::int64_t> value = SlotValue(file.lines, slot);
  if (!value) {
    return {FloorAccess::Failed,
            0,
            {FailureKind::Damaged, FailureCode::None, 0, "read", place,
             "the line of " + slot + " is no number"}};
  }
  return {FloorAccess::Ready, *value, {}};
}

StoredFloor WriteReleaseFloor(const std::string& product, const std::string& slot,
                              std::int64_t release) {
  FileDescriptor folder(-1);
  if (StoredFloor opened = OpenOwnFolder(folder); opened.access != FloorAccess::Ready) {
    return opened;
  }
  const std::string name = FileNameOf(product);
  const std::string place = ReleaseFloorPlace(product);
  FloorFile file = ReadFloorFile(folder.get(), name, place);
  if (file.state.access != FloorAccess::Ready) return std::move(file.state);
  std::string text;
  const std::string line = slot + "=" + std::to_string(release);
  bool replaced = false;
  for (const std::string& old : file.lines) {
    const bool isSlot = old.rfind(slot + "=", 0) == 0;
    text += (isSlot ? line : old) + "\n";
    replaced = replaced || isSlot;
  }
  if (!replaced) text += line + "\n";
  // Inside a folder nobody else may write, the path leads where it led.
  if (!WriteFileReplacing(place, text)) return FailedAt("write", place);
  return {FloorAccess::Ready, release, {}};
}

std::string ReleaseFloorPlace(const std::string& product) {
  return RegistryFolder() + kOwnFolderName + "/" + FileNameOf(product);
}
