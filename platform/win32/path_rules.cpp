// Path rules of Windows: both slashes and the drive colon separate, programs
// end in ".exe".
#include <cctype>

#include "platform/paths.h"

const char kPathDelim = '\\';
const char* const kExeSuffix = ".exe";

bool IsPathSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }

bool IsAbsolutePath(const std::string& path) {
  // "C:\..." and, rooted, "\\server\share\..." or the current drive's root.
  const bool rooted = !path.empty() && (path.front() == '/' || path.front() == '\\');
  const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
                     path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  return drive || rooted;
}
