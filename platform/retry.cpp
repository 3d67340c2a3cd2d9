#include "platform/retry.h"

#include "platform/clock.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/paths.h"

bool DeleteFileWithRetries(const std::string& path) {
  for (int attempt = 1; attempt <= kFileRetryAttempts; ++attempt) {
    if (DeleteFileOnce(path) || !FileExists(path)) return true;
    if (attempt < kFileRetryAttempts) PauseAnsweringMs(kFileRetryPauseMs);
  }
  return !FileExists(path);
}

bool SetFileDateWithRetries(const std::string& path, TDateTime date) {
  for (int attempt = 1; attempt <= kFileRetryAttempts; ++attempt) {
    if (SetFileDateByName(path, date)) return true;
    if (attempt < kFileRetryAttempts) PauseAnsweringMs(kFileRetryPauseMs);
  }
  return false;
}

void RemoveFolderOfFiles(const std::string& folder) {
  for (const DirEntry& entry : ListDirectory(folder)) {
    if (!entry.isDirectory) DeleteFileWithRetries(IncludeTrailingDelimiter(folder) + entry.name);
  }
  RemoveDir(folder);
}
