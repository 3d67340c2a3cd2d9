// Local path conventions: folders end with the native separator; server
// folders always use "/".
#pragma once

#include <string>

// The rules that differ by system live in the port's per-OS folders.
extern const char kPathDelim;
extern const char* const kExeSuffix;  // "" outside Windows
// A character that ends a folder part: also "\\" and the drive colon on
// Windows.
bool IsPathSeparator(char c);

// Both kinds of separator turned into the native one: configuration lines,
// job-file paths and archive entries arrive with backslashes or slashes.
std::string NativeSeparators(std::string path);
// Every "/" turned into the native separator (server folder to local path).
std::string ServerPathToLocal(const std::string& path);
std::string BackslashToSlash(std::string text);
std::string IncludeTrailingDelimiter(const std::string& folder);
// Everything up to and including the last separator (or drive colon).
std::string ExtractFilePath(const std::string& path);
std::string ExtractFileName(const std::string& path);
// Replaces the extension of the file-name part (from its last "." on) or
// appends the new one when the name has none.
std::string ChangeFileExt(const std::string& path, const std::string& extension);
std::string StripLeadingSlash(const std::string& folder);
// A folder beside another, named after it: ("…/Produkt/Daten/", ".partial")
// gives "…/Produkt/Daten.partial/".
std::string FolderBeside(const std::string& folder, const std::string& suffix);
// A full path: from the root, or with a drive letter on Windows.
bool IsAbsolutePath(const std::string& path);
// True when a relative path stays inside the folder it is appended to: not
// absolute, no drive letter, no ".." part, no NUL.
bool IsContainedRelativePath(const std::string& relative);
