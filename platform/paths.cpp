#include "platform/paths.h"

#include <algorithm>

std::string NativeSeparators(std::string path) {
  std::replace(path.begin(), path.end(), '\\', kPathDelim);
  std::replace(path.begin(), path.end(), '/', kPathDelim);
  return path;
}

std::string ServerPathToLocal(const std::string& path) {
  std::string local = path;
  std::replace(local.begin(), local.end(), '/', kPathDelim);
  return local;
}

std::string BackslashToSlash(std::string text) {
  std::replace(text.begin(), text.end(), '\\', '/');
  return text;
}

std::string IncludeTrailingDelimiter(const std::string& folder) {
  if (!folder.empty() && folder.back() == kPathDelim) return folder;
  return folder + kPathDelim;
}

namespace {

std::size_t FileNameStart(const std::string& path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (IsPathSeparator(path[i - 1])) return i;
  }
  return 0;
}

// "..", and names Windows would trim to it ("...", ".. "), climb out.
bool IsParentReference(const std::string& part) {
  if (part.find_first_not_of(". ") != std::string::npos) return false;
  return std::count(part.begin(), part.end(), '.') >= 2;
}

}  // namespace

std::string ExtractFilePath(const std::string& path) { return path.substr(0, FileNameStart(path)); }

std::string ExtractFileName(const std::string& path) { return path.substr(FileNameStart(path)); }

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
  const std::size_t nameStart = FileNameStart(path);
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return path + extension;
  return path.substr(0, dot) + extension;
}

std::string StripLeadingSlash(const std::string& folder) {
  if (!folder.empty() && folder.front() == '/') return folder.substr(1);
  return folder;
}

std::string FolderBeside(const std::string& folder, const std::string& suffix) {
  std::string name = folder;
  while (!name.empty() && name.back() == kPathDelim) name.pop_back();
  return name + suffix + kPathDelim;
}

bool IsContainedRelativePath(const std::string& relative) {
  if (relative.empty()) return true;
  if (relative.find('\0') != std::string::npos) return false;
  if (relative.front() == '/' || relative.front() == '\\') return false;
  if (relative.find(':') != std::string::npos) return false;  // drive letters, streams
  std::size_t start = 0;
  while (start <= relative.size()) {
    std::size_t end = relative.find_first_of("/\\", start);
    if (end == std::string::npos) end = relative.size();
    if (IsParentReference(relative.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}
