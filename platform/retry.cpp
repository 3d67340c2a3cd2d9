#include "platform/retry.h"

#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/process.h"

bool DeleteFileWithRetries(const std::string& path) {
  for (int attempt = 1; attempt <= kFileRetryAttempts; ++attempt) {
    if (!FileExists(path) || DeleteFileOnce(path)) return true;
    if (attempt < kFileRetryAttempts) SleepMs(kFileRetryPauseMs);
  }
  return !FileExists(path);
}

bool SetFileDateWithRetries(const std::string& path, TDateTime date) {
  for (int attempt = 1; attempt <= kFileRetryAttempts; ++attempt) {
    if (SetFileDateByName(path, date)) return true;
    if (attempt < kFileRetryAttempts) SleepMs(kFileRetryPauseMs);
  }
  return false;
}
