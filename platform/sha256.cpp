#include "platform/sha256.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/clock.h"
#include "platform/file_system.h"

Sha256& Sha256::operator=(const Sha256& other) {
  if (this != &other) *this = Sha256(other);
  return *this;
}

std::string Sha256::HexDigest() const {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : Digest()) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0F];
  }
  return hex;
}

bool AddFileToHash(Sha256& hash, const std::string& path, std::int64_t length) {
  std::FILE* file = OpenFile(path, FileOpenMode::Read);
  if (file == nullptr) return false;
  std::vector<char> buffer(256 * 1024);
  std::int64_t left = length;
  bool complete = true;
  while (length < 0 || left > 0) {
    const std::size_t wanted =
        length < 0 ? buffer.size()
                   : static_cast<std::size_t>(std::min<std::int64_t>(left, buffer.size()));
    const std::size_t got = std::fread(buffer.data(), 1, wanted, file);
    hash.Add(buffer.data(), got);
    // Hashing runs at the disk's speed and ends within a second of a cancel
    // anyway; only the window must keep answering.
    AnswerWhileWorking();
    left -= static_cast<std::int64_t>(got);
    if (got < wanted) {
      complete = length < 0 && std::feof(file) != 0 && std::ferror(file) == 0;
      break;
    }
  }
  std::fclose(file);
  return complete;
}

std::optional<std::string> Sha256OfFile(const std::string& path) {
  Sha256 hash;
  if (!AddFileToHash(hash, path)) return std::nullopt;
  return hash.HexDigest();
}
