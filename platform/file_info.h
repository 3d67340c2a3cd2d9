// Questions about single files: size, last-write date, version resource.
#pragma once

#include <cstdint>
#include <string>

#include "base/date_time.h"

// Size in bytes (folders match too); -1 when nothing has that name.
std::int64_t GetFileSizeByName(const std::string& fileName);
// Last-write date in local time, milliseconds included.
TDateTime GetFileDateByName(const std::string& fileName);

// What one look at a name tells, for passes that ask about every file: a
// folder or nothing there is no file (size -1, date 0).
struct FileFacts {
  bool isFile = false;
  std::int64_t size = -1;
  TDateTime date = 0;
  unsigned permissionBits = 0;  // POSIX only; 0 on Windows
  // Nothing that ClearFileAttributes clears is set.
  bool attributesClear = false;
};
FileFacts GetFileFacts(const std::string& fileName);
// ClearFileAttributes for a file looked at already: only when the facts show
// something to clear, and the facts stay true.
void ClearFileAttributesIfSet(const std::string& fileName, FileFacts& facts);
// Sets the last-write date, cut to the 2-second steps of a DOS date-time.
bool SetFileDateByName(const std::string& fileName, TDateTime date);
// One text entry of a Windows executable's version resource (first
// translation); empty when absent. Index 0..8: companyname .. specialbuild.
void GetVersionInfoValue(const std::string& fileName, int index, std::string& value);
