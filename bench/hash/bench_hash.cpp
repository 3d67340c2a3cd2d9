// SHA-256 throughput of the program's hash next to libsodium's portable one,
// which it replaced, over the same buffer in memory, for bench/hash/run.sh:
//
//   qv_bench_hash [MIB] [RUNS]     default: 512 MiB, best of 3 runs
//
// Prints MB/s (10^6 bytes per second); exit code 1 when the digests differ.
#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/sha256.h"

namespace {

std::string SodiumHexDigest(const std::vector<unsigned char>& data) {
  crypto_hash_sha256_state state;
  crypto_hash_sha256_init(&state);
  crypto_hash_sha256_update(&state, data.data(), data.size());
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256_final(&state, digest);
  char hex[2 * crypto_hash_sha256_BYTES + 1];
  sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
  return hex;
}

std::string ProgramHexDigest(const std::vector<unsigned char>& data) {
  Sha256 hash;
  hash.Add(reinterpret_cast<const char*>(data.data()), data.size());
  return hash.HexDigest();
}

struct Measured {
  double megabytesPerSecond = 0;
  std::string digest;
};

Measured Measure(const std::function<std::string(const std::vector<unsigned char>&)>& hash,
                 const std::vector<unsigned char>& data, int runs) {
  Measured best;
  for (int run = 0; run < runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    best.digest = hash(data);
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    best.megabytesPerSecond =
        std::max(best.megabytesPerSecond, static_cast<double>(data.size()) / 1e6 / seconds.count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t mib = argc > 1 ? std::stoul(argv[1]) : 512;
  const int runs = argc > 2 ? std::stoi(argv[2]) : 3;
  if (sodium_init() < 0) return 1;
  std::vector<unsigned char> data(mib << 20);
  randombytes_buf(data.data(), data.size());

  const Measured sodium = Measure(SodiumHexDigest, data, runs);
  const Measured program = Measure(ProgramHexDigest, data, runs);
  if (sodium.digest != program.digest) {
    std::fprintf(stderr, "the digests differ: %s and %s\n", sodium.digest.c_str(),
                 program.digest.c_str());
    return 1;
  }
  std::printf("SHA-256 over %zu MiB in memory, best of %d runs\n", mib, runs);
  std::printf("%-36s %9s %7s\n", "hash", "MB/s", "ratio");
  std::printf("%-36s %9.0f %6.2fx\n", "libsodium (portable C)", sodium.megabytesPerSecond, 1.0);
  std::printf("%-36s %9.0f %6.2fx\n", "Sha256 (libcrypto / CNG)", program.megabytesPerSecond,
              program.megabytesPerSecond / sodium.megabytesPerSecond);
  return 0;
}
