// Path rules of POSIX systems: one separator, no drives, no suffix for
// programs.
#include "platform/paths.h"

const char kPathDelim = '/';
const char* const kExeSuffix = "";

bool IsPathSeparator(char c) { return c == '/'; }

bool IsAbsolutePath(const std::string& path) {
  return !path.empty() && (path.front() == '/' || path.front() == '\\');
}
