#include "trust/sodium_ready.h"

#include <sodium.h>

#include <stdexcept>

void EnsureSodiumReady() {
  // Safe to call again and from any thread; it fails only without a source
  // of randomness, which key pairs need.
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
}
