#include "platform/replacing_write.h"

#include <cstdio>
#include <random>

#include "platform/file_system.h"
#include "platform/paths.h"

std::string TemporaryNameBeside(const std::string& path) {
  static std::mt19937_64 random{std::random_device{}()};
  char name[32];
  std::snprintf(name, sizeof name, "~qv%012llx.tmp",
                static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
  return ExtractFilePath(path) + name;
}

bool WriteFileReplacing(const std::string& path, std::string_view bytes) {
  const std::string temporary = TemporaryNameBeside(path);
  std::FILE* stream = OpenFile(temporary, FileOpenMode::CreateNew);
  if (stream == nullptr) return false;
  const bool written =
      std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() && FlushFileToDisk(stream);
  const bool complete = std::fclose(stream) == 0 && written;
  if (complete && ReplaceFileWith(temporary, path)) return true;
  DeleteFileOnce(temporary);
  return false;
}
