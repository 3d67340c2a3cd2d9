// File questions on Windows: the file search for sizes, last-write times in
// local time, and version.dll for version resources.
#include "platform/file_info.h"
#include "platform/local_time.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <vector>

#include "platform/win32/wide_text.h"

// ---- Helpers ----

namespace {

constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kUnixEpochTicks = 116444736000000000;  // 1970 in FILETIME ticks

std::int64_t Ticks(const FILETIME& time) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                   time.dwLowDateTime);
}

FILETIME FileTimeFromUnix(std::int64_t unixSeconds) {
  const auto ticks = static_cast<std::uint64_t>(unixSeconds * kTicksPerSecond + kUnixEpochTicks);
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return time;
}

// What ClearFileAttributes clears.
constexpr DWORD kClearedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                     FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// The last-write time of a link's target.
bool TargetLastWriteTime(const std::wstring& fileName, FILETIME& lastWrite) {
  // Attribute access alone never collides with another opener's share mode.
  const HANDLE target = CreateFileW(fileName.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (target == INVALID_HANDLE_VALUE) return false;
  const bool read = GetFileTime(target, nullptr, nullptr, &lastWrite) != FALSE;
  CloseHandle(target);
  return read;
}

// The last-write time of the file itself, or of a link's target.
bool LastWriteTime(const std::wstring& fileName, const WIN32_FILE_ATTRIBUTE_DATA& data,
                   FILETIME& lastWrite) {
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return TargetLastWriteTime(fileName, lastWrite);
  }
  lastWrite = data.ftLastWriteTime;
  return true;
}

TDateTime LocalDate(const FILETIME& lastWrite) {
  const std::int64_t sinceEpoch = Ticks(lastWrite) - kUnixEpochTicks;
  std::int64_t seconds = sinceEpoch / kTicksPerSecond;
  std::int64_t remainder = sinceEpoch % kTicksPerSecond;
  if (remainder < 0) {
    --seconds;
    remainder += kTicksPerSecond;
  }
  return UnixTimeToLocal(seconds, static_cast<int>(remainder / 10000));
}

constexpr const wchar_t* kVersionKeys[] = {
    L"companyname",      L"filedescription", L"fileversion",    L"internalname", L"legalcopyright",
    L"originalfilename", L"productname",     L"productversion", L"specialbuild",
};

// The string-table path of the first translation; empty without one, for a
// bare key names no entry of the resource.
std::wstring StringTablePath(const void* block, const wchar_t* key) {
  void* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block, L"\\VarFileInfo\\Translation", &translation, &length) ||
      translation == nullptr || length < sizeof(DWORD)) {
    return std::wstring();
  }
  DWORD entry;
  std::memcpy(&entry, translation, sizeof entry);
  char path[64];
  std::snprintf(path, sizeof path, "\\StringFileInfo\\%04X%04X\\", LOWORD(entry), HIWORD(entry));
  return Widen(path) + key;
}

}  // namespace

// ---- Size and date ----

std::int64_t GetFileSizeByName(const std::string& fileName) {
  const std::wstring name = WidePath(fileName);
  std::wstring full = name;  // relative names are taken from the current folder
  const DWORD needed = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (needed > 0) {
    std::vector<wchar_t> buffer(needed);
    const DWORD length = GetFullPathNameW(name.c_str(), needed, buffer.data(), nullptr);
    if (length > 0 && length < needed) full.assign(buffer.data(), length);
  }
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(full.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return -1;
  FindClose(search);
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) |
                                   found.nFileSizeLow);
}

TDateTime GetFileDateByName(const std::string& fileName) {
  const std::wstring name = WidePath(fileName);
  WIN32_FILE_ATTRIBUTE_DATA data;
  FILETIME lastWrite;
  if (!GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data) ||
      !LastWriteTime(name, data, lastWrite)) {
    return 0;
  }
  return LocalDate(lastWrite);
}

// One look gives attributes, size and date; only a link's date needs its
// target.
FileFacts GetFileFacts(const std::string& fileName) {
  FileFacts facts;
  const std::wstring name = WidePath(fileName);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return facts;
  }
  facts.isFile = true;
  facts.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                         data.nFileSizeLow);
  FILETIME lastWrite;
  if (LastWriteTime(name, data, lastWrite)) facts.date = LocalDate(lastWrite);
  facts.attributesClear = (data.dwFileAttributes & kClearedAttributes) == 0;
  return facts;
}

void ClearFileAttributesIfSet(const std::string& fileName, FileFacts& facts) {
  if (!facts.isFile || facts.attributesClear) return;
  if (SetFileAttributesW(WidePath(fileName).c_str(), FILE_ATTRIBUTE_NORMAL)) {
    facts.attributesClear = true;
  }
}

bool SetFileDateByName(const std::string& fileName, TDateTime date) {
  TDateTime truncated;
  if (!TruncateToDosTime(date, truncated)) return false;
  const FILETIME lastWrite = FileTimeFromUnix(LocalToUnixTime(truncated));
  const std::wstring name = WidePath(fileName);
  // Read-only files are refused even where the account may write anything
  // (Wine as root), as Windows refuses them.
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) != 0)
    return false;
  // Opened for writing without sharing, so a file in use fails.
  const HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool set = SetFileTime(file, nullptr, nullptr, &lastWrite) != FALSE;
  CloseHandle(file);
  return set;
}

// ---- Version resource ----

void GetVersionInfoValue(const std::string& fileName, int index, std::string& value) {
  value.clear();
  if (index < 0 || index >= static_cast<int>(std::size(kVersionKeys))) return;
  const std::wstring name = WidePath(fileName);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return;

  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(name.c_str(), &handle);
  if (size == 0) return;
  std::vector<unsigned char> block(size);
  if (!GetFileVersionInfoW(name.c_str(), handle, size, block.data())) return;

  void* text = nullptr;
  UINT length = 0;
  const std::wstring path = StringTablePath(block.data(), kVersionKeys[index]);
  if (path.empty() || !VerQueryValueW(block.data(), path.c_str(), &text, &length) ||
      text == nullptr || length == 0) {
    return;
  }
  // The length counts the terminating NUL; a table that leaves it out must
  // not lose its last character.
  const auto* characters = static_cast<const wchar_t*>(text);
  value = Narrow(std::wstring_view(characters, wcsnlen(characters, length)));
}
