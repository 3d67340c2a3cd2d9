// SHA-256 over data that arrives in pieces (platform port: libcrypto on
// POSIX, CNG on Windows, both with the CPU's SHA instructions where it has
// them). A download is hashed while it is written, so its data is not read a
// second time.
//
// The system's crypto library fails only when it cannot make or copy a hash
// state, for lack of memory; then std::bad_alloc is thrown, as by new.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class Sha256 {
 public:
  Sha256();
  Sha256(const Sha256& other);
  Sha256& operator=(const Sha256& other);
  // A hash moved from may only be assigned to or destroyed.
  Sha256(Sha256&& other) noexcept = default;
  Sha256& operator=(Sha256&& other) noexcept = default;
  ~Sha256() = default;

  void Add(const char* data, std::size_t size);
  // Lower-case hex of the data added so far; the hash can go on after it.
  std::string HexDigest() const;

 private:
  // The OS's hash state, kept opaque so its headers stay in the port.
  struct State;
  struct StateDeleter {
    void operator()(State* state) const;
  };

  std::array<unsigned char, 32> Digest() const;

  std::unique_ptr<State, StateDeleter> state_;
};

// Adds the file's first `length` bytes (the whole file when length < 0) to
// the hash; false when they cannot be read.
bool AddFileToHash(Sha256& hash, const std::string& path, std::int64_t length = -1);
// The hash of the whole file; nullopt when it cannot be read.
std::optional<std::string> Sha256OfFile(const std::string& path);
