// The retry rules of the run: deleting a file and setting its date are tried
// up to 251 times, 25 ms apart; a final failure is passed over by the caller.
#pragma once

#include <string>

#include "base/date_time.h"

inline constexpr int kFileRetryAttempts = 251;
inline constexpr int kFileRetryPauseMs = 25;
inline constexpr int kListWriteAttempts = 101;
inline constexpr int kListWritePauseMs = 10;

// Deletes the file if it exists; true when it is gone afterwards.
bool DeleteFileWithRetries(const std::string& path);
bool SetFileDateWithRetries(const std::string& path, TDateTime date);
// Deletes every file of a folder that holds only files, then the folder.
void RemoveFolderOfFiles(const std::string& folder);
