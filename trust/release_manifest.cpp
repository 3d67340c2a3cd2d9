#include "trust/release_manifest.h"

#include <sodium.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <set>

#include "trust/sodium_ready.h"

namespace {

constexpr const char* kFirstLine = "quennvoldar-release 2";
constexpr const char* kSignaturePrefix = "signature ";
constexpr std::size_t kDigestHexLength = 64;

// ---- Pieces of a line ----

bool IsLowerHex(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

template <std::size_t N>
bool HexToBytes(const std::string& hex, std::array<unsigned char, N>& bytes) {
  std::size_t length = 0;
  return hex.size() == 2 * N &&
         sodium_hex2bin(bytes.data(), N, hex.data(), hex.size(), nullptr, &length, nullptr) == 0 &&
         length == N;
}

template <std::size_t N>
std::string BytesToHex(const std::array<unsigned char, N>& bytes) {
  std::string hex(2 * N + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), bytes.data(), N);
  hex.pop_back();
  return hex;
}

std::optional<std::int64_t> ParseCount(const std::string& text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty() || value < 0 ||
      (text.size() > 1 && text[0] == '0')) {
    return std::nullopt;
  }
  return value;
}

bool IsDeviceName(const std::string& name) {
  std::string stem = name.substr(0, name.find('.'));
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" ||
      stem == "CONOUT$") {
    return true;
  }
  return stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

std::optional<ReleaseFolder> ParseFolder(const std::string& text) {
  if (text == "updater") return ReleaseFolder::Updater;
  if (text == "product") return ReleaseFolder::Product;
  return std::nullopt;
}

const char* FolderName(ReleaseFolder folder) {
  return folder == ReleaseFolder::Updater ? "updater" : "product";
}

// ---- The content ----

// The lines before the files, in their order: each is read by its own step.
bool ParseHeaderLine(std::size_t lineNumber, const std::string& line, ReleaseManifest& manifest) {
  const auto value = [&line](const char* prefix) -> std::optional<std::string> {
    const std::string start = std::string(prefix) + " ";
    if (line.rfind(start, 0) != 0) return std::nullopt;
    return line.substr(start.size());
  };
  switch (lineNumber) {
    case 0:
      return line == kFirstLine;
    case 1: {
      const std::optional<std::string> product = value("product");
      if (!product || !IsProductIdentity(*product)) return false;
      manifest.target.product = *product;
      return true;
    }
    case 2: {
      const std::optional<ReleaseFolder> folder = ParseFolder(value("folder").value_or(""));
      if (!folder) return false;
      manifest.target.folder = *folder;
      return true;
    }
    case 3: {
      const std::optional<std::int64_t> release = ParseCount(value("release").value_or(""));
      if (!release || *release == 0) return false;
      manifest.release = *release;
      return true;
    }
    case 4: {
      const std::optional<std::int64_t> expires = ParseUtcTime(value("expires").value_or(""));
      if (!expires) return false;
      manifest.expires = *expires;
      return true;
    }
    default:
      return false;
  }
}

constexpr std::size_t kHeaderLines = 5;

std::optional<ReleaseManifest> ParseContent(const std::string& body) {
  ReleaseManifest manifest;
  std::size_t lineNumber = 0;
  for (std::size_t start = 0; start < body.size(); ++lineNumber) {
    const std::size_t end = body.find('\n', start);
    if (end == std::string::npos) return std::nullopt;
    const std::string line = body.substr(start, end - start);
    start = end + 1;
    if (lineNumber < kHeaderLines) {
      if (!ParseHeaderLine(lineNumber, line, manifest)) return std::nullopt;
    } else if (line.rfind("file ", 0) == 0) {
      const std::size_t sizeEnd = line.find(' ', 5);
      if (sizeEnd == std::string::npos) return std::nullopt;
      const std::optional<std::int64_t> size = ParseCount(line.substr(5, sizeEnd - 5));
      const std::string digest = line.substr(sizeEnd + 1, kDigestHexLength);
      const std::size_t pathStart = sizeEnd + 1 + kDigestHexLength + 1;
      if (!size || digest.size() != kDigestHexLength || !IsLowerHex(digest) ||
          line.size() <= pathStart || line[pathStart - 1] != ' ') {
        return std::nullopt;
      }
      const std::string path = line.substr(pathStart);
      if (!IsReleasablePath(path) ||
          !manifest.files.emplace(path, ReleasedFile{*size, digest}).second) {
        return std::nullopt;
      }
    } else {
      return std::nullopt;
    }
  }
  if (lineNumber < kHeaderLines) return std::nullopt;
  return manifest;
}

std::string FormatContent(const ReleaseManifest& manifest) {
  std::string text = std::string(kFirstLine) + "\n";
  text += "product " + manifest.target.product + "\n";
  text += std::string("folder ") + FolderName(manifest.target.folder) + "\n";
  text += "release " + std::to_string(manifest.release) + "\n";
  text += "expires " + FormatUtcTime(manifest.expires) + "\n";
  for (const auto& [path, file] : manifest.files) {
    text += "file " + std::to_string(file.size) + " " + file.sha256 + " " + path + "\n";
  }
  return text;
}

// Splits "content + signature line" at the signature's line; false when
// the text has no such last line.
bool SplitSignature(const std::string& text, std::string& content, std::string& signatureHex) {
  if (text.empty() || text.back() != '\n') return false;
  const std::size_t lineStart = text.rfind('\n', text.size() - 2);
  const std::size_t start = lineStart == std::string::npos ? 0 : lineStart + 1;
  if (text.compare(start, std::string(kSignaturePrefix).size(), kSignaturePrefix) != 0) {
    return false;
  }
  content = text.substr(0, start);
  signatureHex = text.substr(start + std::string(kSignaturePrefix).size(),
                             text.size() - 1 - start - std::string(kSignaturePrefix).size());
  return true;
}

bool SignedByOneOf(const std::string& content, const std::string& signatureHex,
                   const std::vector<PublicKey>& keys) {
  std::array<unsigned char, crypto_sign_BYTES> signature{};
  if (!HexToBytes(signatureHex, signature)) return false;
  for (const PublicKey& key : keys) {
    if (crypto_sign_verify_detached(signature.data(),
                                    reinterpret_cast<const unsigned char*>(content.data()),
                                    content.size(), key.data()) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

// ---- Checking ----

std::optional<ReleaseManifest> ReadSignedManifest(const std::string& text,
                                                  const std::vector<PublicKey>& keys) {
  EnsureSodiumReady();
  std::string content;
  std::string signatureHex;
  if (static_cast<std::int64_t>(text.size()) > kManifestSizeLimit ||
      !SplitSignature(text, content, signatureHex) || !SignedByOneOf(content, signatureHex, keys)) {
    return std::nullopt;
  }
  return ParseContent(content);
}

ManifestVerdict CheckManifest(const std::string& text, const std::vector<PublicKey>& keys,
                              const ReleaseTarget& target, std::int64_t now,
                              std::int64_t releaseFloor, ReleaseManifest& manifest) {
  std::optional<ReleaseManifest> read = ReadSignedManifest(text, keys);
  if (!read) return ManifestVerdict::NotSigned;
  if (read->target.product != target.product || read->target.folder != target.folder) {
    return ManifestVerdict::ForOther;
  }
  if (read->expires <= now) return ManifestVerdict::Expired;
  if (read->release < releaseFloor) return ManifestVerdict::Older;
  manifest = std::move(*read);
  return ManifestVerdict::Accepted;
}

std::optional<ReleaseManifest> ReadManifestContent(const std::string& text) {
  std::string content;
  std::string signatureHex;
  if (!SplitSignature(text, content, signatureHex)) return std::nullopt;
  return ParseContent(content);
}

// ---- Names ----

bool IsProductIdentity(const std::string& text) {
  return !text.empty() && text.size() <= 64 &&
         text.find_first_not_of(
             "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-") ==
             std::string::npos;
}

bool IsReleasablePath(const std::string& path) {
  if (path.empty() || path.size() > kReleasablePathLimit) return false;
  for (const unsigned char c : path) {
    if (c < 0x20 || c == 0x7f || c == '\\' || c == ':') return false;
  }
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string name = path.substr(start, end - start);
    if (name.empty() || name == "." || name == ".." || name.size() > kReleasableNameLimit ||
        name.back() == '.' || name.back() == ' ' || IsDeviceName(name)) {
      return false;
    }
    start = end + 1;
  }
  return true;
}

// ---- Signing ----

std::string SignManifest(const ReleaseManifest& manifest, const SecretKey& key) {
  EnsureSodiumReady();
  const std::string content = FormatContent(manifest);
  std::array<unsigned char, crypto_sign_BYTES> signature{};
  crypto_sign_detached(signature.data(), nullptr,
                       reinterpret_cast<const unsigned char*>(content.data()), content.size(),
                       key.data());
  return content + kSignaturePrefix + BytesToHex(signature) + "\n";
}

// ---- Keys ----

std::optional<std::vector<PublicKey>> ParsePublicKeys(const std::string& text) {
  std::vector<PublicKey> keys;
  std::size_t start = text.find_first_not_of(" \t\r\n");
  while (start != std::string::npos) {
    const std::size_t end = text.find_first_of(" \t\r\n", start);
    PublicKey key{};
    if (!HexToBytes(text.substr(start, end - start), key)) return std::nullopt;
    keys.push_back(key);
    start = text.find_first_not_of(" \t\r\n", end);
  }
  return keys;
}

std::string PublicKeyHex(const PublicKey& key) { return BytesToHex(key); }

std::optional<SecretKey> ParseSecretKey(const std::string& text) {
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  const std::size_t end = text.find_last_not_of(" \t\r\n");
  SecretKey key{};
  if (start == std::string::npos || !HexToBytes(text.substr(start, end - start + 1), key)) {
    return std::nullopt;
  }
  return key;
}

std::string SecretKeyHex(const SecretKey& key) { return BytesToHex(key); }

SecretKey GenerateSecretKey() {
  EnsureSodiumReady();
  PublicKey publicKey{};
  SecretKey secretKey{};
  crypto_sign_keypair(publicKey.data(), secretKey.data());
  return secretKey;
}

PublicKey PublicKeyOf(const SecretKey& key) {
  PublicKey publicKey{};
  crypto_sign_ed25519_sk_to_pk(publicKey.data(), key.data());
  return publicKey;
}

// ---- Time ----

std::optional<std::int64_t> ParseUtcTime(const std::string& text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  char zone = 0;
  if (text.size() != 20 ||
      std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &year, &month, &day, &hour, &minute,
                  &second, &zone) != 7 ||
      zone != 'Z' || hour > 23 || minute > 59 || second > 59) {
    return std::nullopt;
  }
  const std::chrono::year_month_day date{std::chrono::year{year},
                                         std::chrono::month{static_cast<unsigned>(month)},
                                         std::chrono::day{static_cast<unsigned>(day)}};
  if (!date.ok()) return std::nullopt;
  const auto days = std::chrono::sys_days{date}.time_since_epoch();
  return std::chrono::duration_cast<std::chrono::seconds>(days).count() + hour * 3600 +
         minute * 60 + second;
}

std::string FormatUtcTime(std::int64_t seconds) {
  const std::int64_t daySeconds = ((seconds % 86400) + 86400) % 86400;
  const std::chrono::sys_days days{std::chrono::days{(seconds - daySeconds) / 86400}};
  const std::chrono::year_month_day date{days};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(daySeconds / 3600), static_cast<int>(daySeconds / 60 % 60),
                static_cast<int>(daySeconds % 60));
  return text;
}

std::int64_t NowUtcSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}
