#include "trust/sha256.h"

#include <sodium.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/file_system.h"
#include "trust/sodium_ready.h"

static_assert(sizeof(crypto_hash_sha256_state) <= 128, "Sha256::state_ is too small");

namespace {

crypto_hash_sha256_state* StateOf(std::array<unsigned char, 128>& bytes) {
  return reinterpret_cast<crypto_hash_sha256_state*>(bytes.data());
}

}  // namespace

Sha256::Sha256() {
  EnsureSodiumReady();
  crypto_hash_sha256_init(StateOf(state_));
}

void Sha256::Add(const char* data, std::size_t size) {
  crypto_hash_sha256_update(StateOf(state_), reinterpret_cast<const unsigned char*>(data), size);
}

std::string Sha256::HexDigest() const {
  std::array<unsigned char, 128> copy = state_;
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256_final(StateOf(copy), digest);
  char hex[2 * crypto_hash_sha256_BYTES + 1];
  sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
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
