// SHA-256 through CNG, which uses the CPU's SHA instructions where it has them.
#include "platform/sha256.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <limits>
#include <new>

namespace {

void Check(NTSTATUS status) {
  if (!BCRYPT_SUCCESS(status)) throw std::bad_alloc();
}

// Opened once and kept for the process's life: opening a provider costs far
// more than making a hash from it.
BCRYPT_ALG_HANDLE Sha256Algorithm() {
  static const BCRYPT_ALG_HANDLE algorithm = [] {
    BCRYPT_ALG_HANDLE opened = nullptr;
    Check(BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0));
    return opened;
  }();
  return algorithm;
}

}  // namespace

// CNG keeps the hash object's memory itself (no buffer passed in).
struct Sha256::State {
  BCRYPT_HASH_HANDLE hash = nullptr;
};

void Sha256::StateDeleter::operator()(State* state) const {
  if (state->hash != nullptr) BCryptDestroyHash(state->hash);
  delete state;
}

Sha256::Sha256() : state_(new State) {
  Check(BCryptCreateHash(Sha256Algorithm(), &state_->hash, nullptr, 0, nullptr, 0, 0));
}

Sha256::Sha256(const Sha256& other) : state_(new State) {
  Check(BCryptDuplicateHash(other.state_->hash, &state_->hash, nullptr, 0, 0));
}

void Sha256::Add(const char* data, std::size_t size) {
  // CNG takes at most a ULONG's worth at a time; it does not write the data.
  auto* bytes = reinterpret_cast<PUCHAR>(const_cast<char*>(data));
  while (size > 0) {
    const ULONG piece =
        static_cast<ULONG>(std::min<std::size_t>(size, std::numeric_limits<ULONG>::max()));
    Check(BCryptHashData(state_->hash, bytes, piece, 0));
    bytes += piece;
    size -= piece;
  }
}

std::array<unsigned char, 32> Sha256::Digest() const {
  Sha256 finished(*this);
  std::array<unsigned char, 32> digest;
  Check(
      BCryptFinishHash(finished.state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
  return digest;
}
