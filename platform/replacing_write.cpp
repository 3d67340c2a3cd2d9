#include "platform/replacing_write.h"

#include <cstdio>
#include <random>
#include <vector>

#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/system_failure.h"

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
  const SystemErrorKept failure;
  DeleteFileOnce(temporary);
  return false;
}

bool MoveFileReplacing(const std::string& source, const std::string& path) {
  if (ReplaceFileWith(source, path)) return true;
  std::FILE* in = OpenFile(source, FileOpenMode::Read);
  if (in == nullptr) return false;
  const std::string temporary = TemporaryNameBeside(path);
  std::FILE* out = OpenFile(temporary, FileOpenMode::CreateNew);
  bool copied = out != nullptr;
  std::vector<char> block(256 * 1024);
  while (copied) {
    const std::size_t count = std::fread(block.data(), 1, block.size(), in);
    if (count == 0) break;
    copied = std::fwrite(block.data(), 1, count, out) == count;
  }
  copied = copied && std::ferror(in) == 0 && FlushFileToDisk(out);
  std::fclose(in);
  if (out == nullptr) return false;
  copied = std::fclose(out) == 0 && copied;
  if (copied && ReplaceFileWith(temporary, path)) {
    DeleteFileOnce(source);
    return true;
  }
  const SystemErrorKept failure;
  DeleteFileOnce(temporary);
  return false;
}
