// The release manifest: what the vendor published in one server folder (every
// file's path, size and SHA-256), which product and which of its two folders
// that is, a release number that only grows, an expiry, and an Ed25519
// signature over all of it. It lives on the server beside what it describes
// and is never installed itself.
//
//   quennvoldar-release 2
//   product quennvoldar-sample
//   folder product
//   release 7
//   expires 2027-03-11T00:00:00Z
//   file 1234 <64 hex digits> Daten/Bilder/a b.png
//   signature <128 hex digits>
//
// Lines end with LF; paths are relative, with "/", and run to the line's end.
// The signature covers every byte before its line.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

inline constexpr std::int64_t kManifestSizeLimit = 16 * 1024 * 1024;

struct ReleasedFile {
  std::int64_t size = 0;
  std::string sha256;  // lower-case hex
};

// The two server folders a product's release is made of: the updater's own
// files and the product's.
enum class ReleaseFolder { Updater, Product };

// What a manifest must be for to be taken: one vendor key may sign the
// releases of several products, and a folder's manifest must not pass for
// the other's.
struct ReleaseTarget {
  std::string product;
  ReleaseFolder folder = ReleaseFolder::Product;
};

struct ReleaseManifest {
  ReleaseTarget target;
  std::int64_t release = 0;
  std::int64_t expires = 0;  // seconds since 1970-01-01 UTC
  std::map<std::string, ReleasedFile> files;
};

using PublicKey = std::array<unsigned char, 32>;
using SecretKey = std::array<unsigned char, 64>;

enum class ManifestVerdict { Accepted, NotSigned, ForOther, Expired, Older };

// Checks in this order: a signature by one of the keys over well-formed
// content, the product and folder against `target`, the expiry against
// `now` (seconds since 1970 UTC), and a release number not below
// `releaseFloor`. Only an accepted manifest is read into `manifest`.
ManifestVerdict CheckManifest(const std::string& text, const std::vector<PublicKey>& keys,
                              const ReleaseTarget& target, std::int64_t now,
                              std::int64_t releaseFloor, ReleaseManifest& manifest);

// The content of a text signed by one of the keys; nullopt when it is not
// signed or not well-formed. Nothing is read before the signature holds.
std::optional<ReleaseManifest> ReadSignedManifest(const std::string& text,
                                                  const std::vector<PublicKey>& keys);

// The signed text of a manifest.
std::string SignManifest(const ReleaseManifest& manifest, const SecretKey& key);
// Only the content: an unsigned text of someone else's making is never read.
std::optional<ReleaseManifest> ReadManifestContent(const std::string& text);

// A product's name in a manifest: 1 to 64 ASCII letters, digits, ".", "_"
// and "-".
bool IsProductIdentity(const std::string& text);
// A path a manifest may name, and so the updater may lay below its folders
// on any system: relative, "/" between names; no empty, "." or ".." name,
// no control character, colon or backslash, no name ending in a dot or blank, no
// name Windows reserves for a device (CON, NUL, COM1, ...: also with an
// extension), at most 255 bytes a name and 1024 the path.
bool IsReleasablePath(const std::string& path);
inline constexpr std::size_t kReleasableNameLimit = 255;
inline constexpr std::size_t kReleasablePathLimit = 1024;

// Keys as hex digits, separated by blanks; nullopt when one is not a key.
std::optional<std::vector<PublicKey>> ParsePublicKeys(const std::string& text);
std::string PublicKeyHex(const PublicKey& key);
// A secret key as its 128 hex digits (blanks and line ends around it allowed).
std::optional<SecretKey> ParseSecretKey(const std::string& text);
std::string SecretKeyHex(const SecretKey& key);
// A new pair; the secret key holds the public one in its second half.
SecretKey GenerateSecretKey();
PublicKey PublicKeyOf(const SecretKey& key);

// "2027-03-11T00:00:00Z" <-> seconds since 1970 UTC.
std::optional<std::int64_t> ParseUtcTime(const std::string& text);
std::string FormatUtcTime(std::int64_t seconds);
std::int64_t NowUtcSeconds();
