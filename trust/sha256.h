// SHA-256 over data that arrives in pieces: a download is hashed while it is
// written, so its data is not read a second time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

class Sha256 {
 public:
  Sha256();
  void Add(const char* data, std::size_t size);
  // Lower-case hex of the data added so far; the hash can go on after it.
  std::string HexDigest() const;

 private:
  // libsodium's hash state, kept opaque so its header stays in this layer.
  alignas(16) std::array<unsigned char, 128> state_;
};

// Adds the file's first `length` bytes (the whole file when length < 0) to
// the hash; false when they cannot be read.
bool AddFileToHash(Sha256& hash, const std::string& path, std::int64_t length = -1);
// The hash of the whole file; nullopt when it cannot be read.
std::optional<std::string> Sha256OfFile(const std::string& path);
