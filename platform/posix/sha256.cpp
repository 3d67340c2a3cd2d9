// SHA-256 through OpenSSL's libcrypto, which uses the CPU's SHA instructions.
#include "platform/sha256.h"

#include <openssl/evp.h>

#include <new>

namespace {

void Check(int result) {
  if (result != 1) throw std::bad_alloc();
}

// Fetched once: fetching it for each hash would cost more than hashing a
// small file.
const EVP_MD* Sha256Method() {
  static const EVP_MD* const method = [] {
    EVP_MD* fetched = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    if (fetched == nullptr) throw std::bad_alloc();
    return fetched;
  }();
  return method;
}

struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;

Context NewContext() {
  Context context(EVP_MD_CTX_new());
  if (context == nullptr) throw std::bad_alloc();
  return context;
}

}  // namespace

struct Sha256::State {
  Context context = NewContext();
};

void Sha256::StateDeleter::operator()(State* state) const { delete state; }

Sha256::Sha256() : state_(new State) {
  Check(EVP_DigestInit_ex(state_->context.get(), Sha256Method(), nullptr));
}

Sha256::Sha256(const Sha256& other) : state_(new State) {
  Check(EVP_MD_CTX_copy_ex(state_->context.get(), other.state_->context.get()));
}

void Sha256::Add(const char* data, std::size_t size) {
  Check(EVP_DigestUpdate(state_->context.get(), data, size));
}

std::array<unsigned char, 32> Sha256::Digest() const {
  Sha256 finished(*this);
  std::array<unsigned char, 32> digest;
  Check(EVP_DigestFinal_ex(finished.state_->context.get(), digest.data(), nullptr));
  return digest;
}
