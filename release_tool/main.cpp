// The vendor's release command: makes a key pair, signs release folders
// (each gets its manifest with the next release number and an expiry), and
// checks folders against their manifests.
#include <climits>
#include <cstdio>
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

constexpr int kDefaultValidDays = 90;
constexpr unsigned kOwnerOnly = 0600;

int Usage() {
  std::fputs(
      "usage:\n"
      "  quennvoldar-release keygen SECRET-KEY-FILE\n"
      "      makes a key pair; prints the public key for QV_RELEASE_KEYS\n"
      "  quennvoldar-release sign SECRET-KEY-FILE [--valid-days N] [--release N] FOLDER...\n"
      "      writes each folder's manifest: the next release number (or N), valid\n"
      "      N days (default 90)\n"
      "  quennvoldar-release check PUBLIC-KEYS FOLDER...\n"
      "      checks each folder against its manifest (keys as hex, blank-separated)\n",
      stderr);
  return 2;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "quennvoldar-release: %s\n", message.c_str());
  return 1;
}

std::string ManifestPath(const std::string& folder) {
  return IncludeTrailingDelimiter(folder) + kReleaseManifestName;
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
  int validDays = kDefaultValidDays;
  std::int64_t release = 0;  // 0: the folder's next one
};

int SignFolder(const SecretKey& key, const std::string& folder, const SignOptions& options) {
  std::vector<std::string> unreadable;
  ReleaseManifest manifest = DescribeFolder(IncludeTrailingDelimiter(folder), unreadable);
  if (!unreadable.empty()) return Fail("cannot read " + unreadable.front());
  manifest.release = options.release;
  if (manifest.release == 0) {
    manifest.release = 1;
    if (const std::optional<std::string> previous = ReadWholeFile(ManifestPath(folder))) {
      const std::optional<ReleaseManifest> old = ReadManifestContent(*previous);
      if (!old) return Fail(ManifestPath(folder) + " is not a manifest; move it away first");
      manifest.release = old->release + 1;
    }
  }
  manifest.expires = NowUtcSeconds() + std::int64_t{options.validDays} * 86400;
  if (!WriteFileReplacing(ManifestPath(folder), SignManifest(manifest, key))) {
    return Fail("cannot write " + ManifestPath(folder));
  }
  std::printf("%s: release %lld, %zu files, valid until %s\n", folder.c_str(),
              static_cast<long long>(manifest.release), manifest.files.size(),
              FormatUtcTime(manifest.expires).c_str());
  return 0;
}

// "--name N" at args[at]; false when it is not there or N is no number in
// [lowest, highest].
bool NumberOption(const std::vector<std::string>& args, std::size_t at, const char* name,
                  std::int64_t lowest, std::int64_t highest, std::int64_t& value) {
  if (at + 1 >= args.size() || args[at] != name) return false;
  try {
    std::size_t used = 0;
    value = std::stoll(args[at + 1], &used);
    return used == args[at + 1].size() && value >= lowest && value <= highest;
  } catch (const std::exception&) {
    return false;
  }
}

int Sign(const std::vector<std::string>& args) {
  if (args.size() < 4) return Usage();
  const std::optional<std::string> keyText = ReadWholeFile(args[2]);
  if (!keyText) return Fail("cannot read " + args[2]);
  const std::optional<SecretKey> key = ParseSecretKey(*keyText);
  if (!key) return Fail(args[2] + " is not a secret key of this command");
  SignOptions options;
  std::size_t first = 3;
  for (; first < args.size() && args[first].rfind("--", 0) == 0; first += 2) {
    std::int64_t value = 0;
    if (NumberOption(args, first, "--valid-days", 0, 36500, value)) {
      options.validDays = static_cast<int>(value);
    } else if (NumberOption(args, first, "--release", 1, INT32_MAX, value)) {
      options.release = value;
    } else {
      return Usage();
    }
  }
  if (first >= args.size()) return Usage();
  for (std::size_t i = first; i < args.size(); ++i) {
    if (const int result = SignFolder(*key, args[i], options); result != 0) return result;
  }
  return 0;
}

// ---- check ----

int CheckFolder(const std::vector<PublicKey>& keys, const std::string& folder) {
  const std::optional<std::string> text = ReadWholeFile(ManifestPath(folder));
  if (!text) return Fail(folder + ": no manifest");
  ReleaseManifest manifest;
  switch (CheckManifest(*text, keys, NowUtcSeconds(), 0, manifest)) {
    case ManifestVerdict::Accepted:
      break;
    case ManifestVerdict::Expired:
      return Fail(folder + ": the manifest has expired");
    case ManifestVerdict::NotSigned:
    case ManifestVerdict::Older:
      return Fail(folder + ": the manifest is not signed by these keys");
  }
  const std::vector<std::string> problems =
      CompareFolder(IncludeTrailingDelimiter(folder), manifest);
  for (const std::string& problem : problems)
    std::fprintf(stderr, "%s: %s\n", folder.c_str(), problem.c_str());
  if (!problems.empty()) return 1;
  std::printf("%s: release %lld, %zu files as signed, valid until %s\n", folder.c_str(),
              static_cast<long long>(manifest.release), manifest.files.size(),
              FormatUtcTime(manifest.expires).c_str());
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
