// Files and folders on Windows: wide-character calls throughout, share
// modes where a file is opened, attributes as the system keeps them.
#include "platform/file_system.h"

#include <windows.h>

#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>

#include "platform/paths.h"
#include "platform/win32/wide_text.h"

// ---- Helpers ----

namespace {

DWORD Attributes(const std::string& path) { return GetFileAttributesW(WidePath(path).c_str()); }

bool IsDirectoryAttribute(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A read-only file is never written. Windows refuses that by itself; the
// check keeps it so where the account may write anything (Wine as root).
bool IsReadOnly(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// CREATE_NEW gives the atomic "fails when it exists" that no stdio mode has.
std::FILE* CreateNewFile(const std::string& path) {
  const HANDLE handle = CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* stream = _fdopen(fd, "wb");
  if (stream == nullptr) _close(fd);  // closes the handle too
  return stream;
}

}  // namespace

// ---- Opening ----

std::FILE* OpenFile(const std::string& path, FileOpenMode mode) {
  const std::wstring wide = WidePath(path);
  switch (mode) {
    case FileOpenMode::Read:
      return _wfsopen(wide.c_str(), L"rb", _SH_DENYNO);
    case FileOpenMode::ReadDenyWrite:
      return _wfsopen(wide.c_str(), L"rb", _SH_DENYWR);
    case FileOpenMode::CreateExclusive:
      if (IsReadOnly(GetFileAttributesW(wide.c_str()))) return nullptr;
      return _wfsopen(wide.c_str(), L"wb", _SH_DENYRW);
    case FileOpenMode::CreateNew:
      return CreateNewFile(path);
    case FileOpenMode::Append:
      if (IsReadOnly(GetFileAttributesW(wide.c_str()))) return nullptr;
      return _wfsopen(wide.c_str(), L"ab", _SH_DENYRW);
  }
  return nullptr;
}

// ---- Tests and changes ----

bool FileExists(const std::string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) { return IsDirectoryAttribute(Attributes(path)); }

bool DeleteFileOnce(const std::string& path) {
  return DeleteFileW(WidePath(path).c_str()) != FALSE;
}

void ClearFileAttributes(const std::string& path) {
  SetFileAttributesW(WidePath(path).c_str(), FILE_ATTRIBUTE_NORMAL);
}

bool SetReadOnly(const std::string& path) {
  const DWORD attributes = Attributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return SetFileAttributesW(WidePath(path).c_str(), attributes | FILE_ATTRIBUTE_READONLY) != FALSE;
}

// Windows starts any existing program file; there is no execute bit.
bool MarkExecutable(const std::string& path) { return FileExists(path); }

bool ForceDirectories(const std::string& folder) {
  std::string path = folder;
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  // The parent first; a drive ("C:") or share root that is missing ends it.
  const std::size_t separator = path.find_last_of("\\/");
  if (separator != std::string::npos && separator > 0 && path[separator - 1] != ':' &&
      !ForceDirectories(path.substr(0, separator))) {
    return false;
  }
  if (CreateDirectoryW(WidePath(path).c_str(), nullptr)) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS && DirectoryExists(path);
}

bool RemoveDir(const std::string& folder) {
  return RemoveDirectoryW(WidePath(folder).c_str()) != FALSE;
}

bool ReplaceFileWith(const std::string& source, const std::string& destination) {
  const std::wstring from = WidePath(source);
  const std::wstring to = WidePath(destination);
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  const DWORD error = GetLastError();
  if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return false;
  // A folder in the way also answers "access denied"; moved aside, it would
  // leave its place with everything in it.
  const DWORD attributes = GetFileAttributesW(to.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  // A library or program in use cannot be overwritten but can be renamed: the
  // process holding it keeps the old image, the next start gets the new one.
  const std::wstring aside = to + L".alt-" + std::to_wstring(GetTickCount());
  if (!MoveFileExW(to.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) return false;
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
    MoveFileExW(aside.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
    return false;
  }
  if (!DeleteFileW(aside.c_str())) MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return true;
}

bool MoveFileWithin(const std::string& source, const std::string& destination) {
  const std::wstring from = WidePath(source);
  std::wstring to = WidePath(destination);
  // No flag allows a copy or replaces a file: another volume or a taken
  // name fails the move.
  if (!MoveFileExW(from.c_str(), to.c_str(), 0)) return false;
  // A moved file keeps the access list it had; an empty list that is not
  // protected takes what the new folder passes on, as a new file would.
  ACL empty;
  if (InitializeAcl(&empty, sizeof empty, ACL_REVISION) &&
      SetNamedSecurityInfoW(to.data(), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, &empty, nullptr) == ERROR_SUCCESS) {
    // A copy is marked as changed since the last backup; a moved file must
    // be too, or an incremental backup would pass over the new version.
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      SetFileAttributesW(to.c_str(), attributes | FILE_ATTRIBUTE_ARCHIVE);
    }
    return true;
  }
  MoveFileExW(to.c_str(), from.c_str(), 0);
  return false;
}

bool SetPermissionBits(const std::string&, unsigned) { return true; }

std::int64_t FreeDiskSpace(const std::string& folder) {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(WidePath(folder).c_str(), &available, nullptr, nullptr)) return -1;
  return static_cast<std::int64_t>(available.QuadPart);
}

bool TruncateFile(std::FILE* file, std::int64_t size) {
  return std::fflush(file) == 0 && _chsize_s(_fileno(file), size) == 0;
}

bool FlushFileToDisk(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
  const intptr_t handle = _get_osfhandle(_fileno(file));
  return handle != -1 && FlushFileBuffers(reinterpret_cast<HANDLE>(handle)) != FALSE;
}

bool FlushFolderToDisk(const std::string& folder) {
  for (const DirEntry& entry : ListDirectory(folder)) {
    if (entry.isDirectory) continue;
    const std::wstring path = WidePath(IncludeTrailingDelimiter(folder) + entry.name);
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool flushed = FlushFileBuffers(file) != FALSE;
    CloseHandle(file);
    if (!flushed) return false;
  }
  return true;
}

// ---- Listing ----

std::vector<DirEntry> ListDirectory(const std::string& folder) {
  std::vector<DirEntry> entries;
  const std::string pattern =
      (folder.empty() ? std::string() : IncludeTrailingDelimiter(folder)) + "*.*";
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(WidePath(pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::string name = Narrow(found.cFileName);
    if (name == "." || name == "..") continue;
    // A junction or linked folder is not walked into: the sweep and the
    // install list stay inside the folder they were given.
    const bool linked = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entries.push_back({name, IsDirectoryAttribute(found.dwFileAttributes) && !linked, linked});
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return entries;
}

// ---- Temporary folder ----

std::string GetTempFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) return IncludeTrailingDelimiter(".");
  return IncludeTrailingDelimiter(Narrow(std::wstring_view(buffer, length)));
}
