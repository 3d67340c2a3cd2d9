#include "platform/posix/runtime_folder.h"

#include <cerrno>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// ---- Checks ----

// A real folder (no link) owned by us that nobody else may write into.
bool IsPrivateFolder(const std::string& folder) {
  struct stat info {};
  if (lstat(folder.c_str(), &info) != 0) return false;
  return S_ISDIR(info.st_mode) && info.st_uid == geteuid() && (info.st_mode & 022) == 0;
}

bool EnsurePrivateFolder(const std::string& folder) {
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return IsPrivateFolder(folder);
}

std::string BaseFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  // The variable must name an absolute path to count.
  if (runtime != nullptr && runtime[0] == '/') return std::string(runtime) + "/quennvoldar";
  return "/tmp/quennvoldar-" + std::to_string(geteuid());
}

}  // namespace

// ---- Public interface ----

std::string RuntimeSubfolder(const std::string& name) {
  const std::string base = BaseFolder();
  if (!EnsurePrivateFolder(base)) return {};
  const std::string folder = base + "/" + name;
  if (!EnsurePrivateFolder(folder)) return {};
  return folder + "/";
}
