#include "platform/whole_file.h"

#include <cstdio>

#include "platform/file_system.h"

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::FILE* stream = OpenFile(path, FileOpenMode::Read);
  if (stream == nullptr) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  std::size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, stream)) > 0) bytes.append(buffer, count);
  const bool failed = std::ferror(stream) != 0;
  std::fclose(stream);
  if (failed) return std::nullopt;
  return bytes;
}
