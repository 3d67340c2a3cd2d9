// The vendor's release command: makes a key pair, signs release folders
// (each gets its manifest: product, the folder's role, the next release number
// and an expiry), and checks folders against their manifests.
#include <charconv>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/replacing_write.h"
#include "platform/whole_file.h"
#include "release_tool/release_folder.h"
#include "resources/texts.h"
#include "trust/release_manifest.h"

namespace {

constexpr std::int64_t kDefaultValidDays = 90;
constexpr std::int64_t kLongestValidDays = 3650;
constexpr std::int64_t kLastRelease = std::numeric_limits<std::int64_t>::max();
constexpr unsigned kOwnerOnly = 0600;

int Usage() {
  std::fputs(
      "usage:\n"
      "  quennvoldar-release keygen SECRET-KEY-FILE\n"
      "      makes a key pair; prints the public key for QV_RELEASE_KEYS\n"
      "  quennvoldar-release sign SECRET-KEY-FILE --product ID --folder updater|product\n"
      "                           [--valid-days N] [--release N] FOLDER...\n"
      "      writes each folder's manifest for the product ID (QV_RELEASE_PRODUCT) and\n"
      "      the folder's role (the updater's own files or the product's): the next\n"
      "      release number (or N, up to 9223372036854775807), valid N days (1 to\n"
      "      3650, default 90). A folder is refused, and nothing signed, when it holds\n"
      "      a link or a name Windows cannot hold or sees as another's.\n"
      "  quennvoldar-release check PUBLIC-KEYS FOLDER...\n"
      "      checks each folder against its manifest (keys as hex, blank-separated)\n",
      stderr);
  return 2;
}

void Complain(const std::string& message) {
  std::fprintf(stderr, "quennvoldar-release: %s\n", message.c_str());
}

int Fail(const std::string& message) {
  Complain(message);
  return 1;
}

std::string ManifestPath(const std::string& folder) {
  return IncludeTrailingDelimiter(folder) + kReleaseManifestName;
}

// "product ID, folder ROLE, release N": what a manifest was signed for.
std::string Describe(const ReleaseManifest& manifest) {
  return "product " + manifest.target.product + ", folder " +
         (manifest.target.folder == ReleaseFolder::Updater ? "updater" : "product") + ", release " +
         std::to_string(manifest.release);
}

// ---- keygen ----

int MakeKeyPair(const std::string& path) {
  const SecretKey key = GenerateSecretKey();
  // Never over an existing key: a lost key cannot sign the next release.
  std::FILE* file = OpenFile(path, FileOpenMode::CreateNew);
  if (file == nullptr) return Fail("cannot create " + path + " (does it exist already?)");
  const std::string text = SecretKeyHex(key) + "\n";
  const bool written = SetPermissionBits(path, kOwnerOnly) &&
                       std::fwrite(text.data(), 1, text.size(), file) == text.size() &&
                       FlushFileToDisk(file);
  if (std::fclose(file) != 0 || !written) return Fail("cannot write " + path);
  std::printf("%s\n", PublicKeyHex(PublicKeyOf(key)).c_str());
  return 0;
}

// ---- sign ----

// What `sign` is told besides the key and the folders.
struct SignOptions {
  std::string product;
  std::optional<ReleaseFolder> folder;
  std::int64_t validDays = kDefaultValidDays;
  std::int64_t release = 0;  // 0: each folder's next one
};

// Decimal digits that make a number in [lowest, highest].
std::optional<std::int64_t> ParseNumber(const std::string& text, std::int64_t lowest,
                                        std::int64_t highest) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < lowest ||
      value > highest) {
    return std::nullopt;
  }
  return value;
}

// Reads the "--name value" pairs from args[first] on, leaving `first` at the
// first folder; returns what is wrong with them, empty when nothing is.
std::string ReadSignOptions(const std::vector<std::string>& args, std::size_t& first,
                            SignOptions& options) {
  for (; first < args.size() && args[first].rfind("--", 0) == 0; first += 2) {
    const std::string& name = args[first];
    if (first + 1 >= args.size()) return name + " needs a value";
    const std::string& value = args[first + 1];
    if (name == "--product") {
      if (!IsProductIdentity(value)) {
        return "--product takes 1 to 64 letters, digits, '.', '_' and '-': " + value;
      }
      options.product = value;
    } else if (name == "--folder") {
      if (value != "updater" && value != "product") {
        return "--folder takes updater or product: " + value;
      }
      options.folder = value == "updater" ? ReleaseFolder::Updater : ReleaseFolder::Product;
    } else if (name == "--valid-days") {
      const std::optional<std::int64_t> days = ParseNumber(value, 1, kLongestValidDays);
      if (!days)
        return "--valid-days takes 1 to " + std::to_string(kLongestValidDays) + ": " + value;
      options.validDays = *days;
    } else if (name == "--release") {
      const std::optional<std::int64_t> release = ParseNumber(value, 1, kLastRelease);
      if (!release) return "--release takes 1 to " + std::to_string(kLastRelease) + ": " + value;
      options.release = *release;
    } else {
      return "no such option: " + name;
    }
  }
  if (options.product.empty()) return "sign needs --product ID";
  if (!options.folder) return "sign needs --folder updater or --folder product";
  return "";
}

// The number after the one of the folder's last manifest, 1 without one;
// nullopt, and said why, when there is none.
std::optional<std::int64_t> NextRelease(const std::string& folder) {
  const std::optional<std::string> previous = ReadWholeFile(ManifestPath(folder));
  if (!previous) return 1;
  const std::optional<ReleaseManifest> old = ReadManifestContent(*previous);
  if (!old) {
    Complain(ManifestPath(folder) +
             " is not a manifest of this command; move it away or give --release");
    return std::nullopt;
  }
  if (old->release == kLastRelease) {
    Complain(folder + ": cannot go past release " + std::to_string(kLastRelease));
    return std::nullopt;
  }
  return old->release + 1;
}

// The folder's manifest as it is to be signed; nullopt, and said why, when
// the folder cannot be signed as it is.
std::optional<ReleaseManifest> PrepareRelease(const std::string& folder, const SignOptions& options,
                                              std::int64_t now) {
  std::vector<std::string> problems;
  ReleaseManifest manifest = DescribeFolder(IncludeTrailingDelimiter(folder), problems);
  for (const std::string& problem : problems) Complain(folder + ": " + problem);
  if (!problems.empty()) return std::nullopt;
  manifest.target = {options.product, *options.folder};
  manifest.release = options.release;
  if (manifest.release == 0) {
    const std::optional<std::int64_t> next = NextRelease(folder);
    if (!next) return std::nullopt;
    manifest.release = *next;
  }
  manifest.expires = now + options.validDays * 86400;
  return manifest;
}

int Sign(const std::vector<std::string>& args) {
  if (args.size() < 4) return Usage();
  const std::optional<std::string> keyText = ReadWholeFile(args[2]);
  if (!keyText) return Fail("cannot read " + args[2]);
  const std::optional<SecretKey> key = ParseSecretKey(*keyText);
  if (!key) return Fail(args[2] + " is not a secret key of this command");
  SignOptions options;
  std::size_t first = 3;
  if (const std::string wrong = ReadSignOptions(args, first, options); !wrong.empty()) {
    return Fail(wrong);
  }
  if (first >= args.size()) return Usage();
  // Every folder is looked at before any is signed, so that a refusal leaves
  // them all as they were.
  const std::int64_t now = NowUtcSeconds();
  std::vector<ReleaseManifest> releases;
  for (std::size_t i = first; i < args.size(); ++i) {
    if (std::optional<ReleaseManifest> release = PrepareRelease(args[i], options, now)) {
      releases.push_back(std::move(*release));
    }
  }
  if (releases.size() != args.size() - first) return 1;
  for (std::size_t i = 0; i < releases.size(); ++i) {
    const std::string& folder = args[first + i];
    if (!WriteFileReplacing(ManifestPath(folder), SignManifest(releases[i], *key))) {
      return Fail("cannot write " + ManifestPath(folder));
    }
    std::printf("%s: %s, %zu files, valid until %s\n", folder.c_str(),
                Describe(releases[i]).c_str(), releases[i].files.size(),
                FormatUtcTime(releases[i].expires).c_str());
  }
  return 0;
}

// ---- check ----

int CheckFolder(const std::vector<PublicKey>& keys, const std::string& folder) {
  const std::optional<std::string> text = ReadWholeFile(ManifestPath(folder));
  if (!text) return Fail(folder + ": no manifest");
  const std::optional<ReleaseManifest> manifest = ReadSignedManifest(*text, keys);
  if (!manifest) return Fail(folder + ": the manifest is not signed by these keys");
  if (manifest->expires <= NowUtcSeconds()) {
    return Fail(folder + ": the manifest expired at " + FormatUtcTime(manifest->expires));
  }
  const std::vector<std::string> problems =
      CompareFolder(IncludeTrailingDelimiter(folder), *manifest);
  for (const std::string& problem : problems) Complain(folder + ": " + problem);
  if (!problems.empty()) return 1;
  std::printf("%s: %s, %zu files as signed, valid until %s\n", folder.c_str(),
              Describe(*manifest).c_str(), manifest->files.size(),
              FormatUtcTime(manifest->expires).c_str());
  return 0;
}

int Check(const std::vector<std::string>& args) {
  if (args.size() < 4) return Usage();
  const std::optional<std::vector<PublicKey>> keys = ParsePublicKeys(args[2]);
  if (!keys || keys->empty()) return Fail("not a public key: " + args[2]);
  int result = 0;
  for (std::size_t i = 3; i < args.size(); ++i) {
    if (CheckFolder(*keys, args[i]) != 0) result = 1;
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = GetCommandLineArguments(argc, argv);
  try {
    if (args.size() == 3 && args[1] == "keygen") return MakeKeyPair(args[2]);
    if (args.size() >= 2 && args[1] == "sign") return Sign(args);
    if (args.size() >= 2 && args[1] == "check") return Check(args);
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
  return Usage();
}
