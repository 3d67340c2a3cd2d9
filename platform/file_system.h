// Files and folders (platform port). Paths are UTF-8; each OS file turns its
// own error codes into the Boolean answers here.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

enum class FileOpenMode {
  Read,             // others may read and write
  ReadDenyWrite,    // others may read but not write
  CreateExclusive,  // created or truncated for writing, no sharing
  CreateNew,        // created for writing; fails when the file exists
  Append,           // created when missing, else kept; every write goes to its end
};

// A stdio stream for the path, or nullptr. On POSIX the modes that write
// never open a link.
std::FILE* OpenFile(const std::string& path, FileOpenMode mode);

bool FileExists(const std::string& path);  // a file, following links
bool DirectoryExists(const std::string& path);
bool DeleteFileOnce(const std::string& path);
// Read-only, hidden, system and archive cleared (POSIX: the owner may write).
void ClearFileAttributes(const std::string& path);
bool SetReadOnly(const std::string& path);
// Lets a downloaded program be started (POSIX: execute bits where the file
// may be read; Windows: nothing to do).
bool MarkExecutable(const std::string& path);
// Sets POSIX permission bits (FileFacts reads them); Windows has none, and
// setting them does nothing there.
bool SetPermissionBits(const std::string& path, unsigned bits);
bool ForceDirectories(const std::string& folder);
bool RemoveDir(const std::string& folder);  // only when empty
// Puts a complete file in the place of another in one step; on POSIX it
// takes the replaced file's permission bits.
bool ReplaceFileWith(const std::string& source, const std::string& destination);
// Moves a file to a free name on the same file system, where it gets the
// access a file made there gets (Windows: what the new folder passes on, and
// the archive attribute a copy gets; the POSIX mode goes with the file).
// False when it was not moved (another file system, a name that is taken, a
// file in use): it stays where it was.
bool MoveFileWithin(const std::string& source, const std::string& destination);
// Cuts the open file to the size (its end is where the next append goes).
bool TruncateFile(std::FILE* file, std::int64_t size);
// Makes the written data durable before a file is put in place.
bool FlushFileToDisk(std::FILE* file);
// Makes every file written into the folder, and its entries, durable at once
// (POSIX: the whole file system; Windows: each file of the folder).
bool FlushFolderToDisk(const std::string& folder);

struct DirEntry {
  std::string name;
  bool isDirectory = false;  // never a link to a folder
  bool isLink = false;       // a symbolic link, junction or other reparse point
};
// Every entry but "." and "..", hidden and system ones included, in the
// platform's order.
std::vector<DirEntry> ListDirectory(const std::string& folder);

// Bytes the user may still write on the folder's disk; -1 when unknown.
std::int64_t FreeDiskSpace(const std::string& folder);

// The user's temporary folder, always with a trailing separator.
std::string GetTempFolder();
