// Release manifests come from the update server. Whatever arrives, checking
// one never fails in any other way than a verdict; and a manifest whose
// content reads, once signed, is accepted for its own product and folder and
// reads back the same.
#include <cstdint>

#include "fuzz_support.h"
#include "trust/release_manifest.h"

namespace {

const SecretKey& Key() {
  static const SecretKey key = GenerateSecretKey();
  return key;
}

bool Same(const ReleaseManifest& a, const ReleaseManifest& b) {
  if (a.target.product != b.target.product || a.target.folder != b.target.folder ||
      a.release != b.release || a.expires != b.expires || a.files.size() != b.files.size()) {
    return false;
  }
  for (const auto& [path, file] : a.files) {
    const auto other = b.files.find(path);
    if (other == b.files.end() || other->second.size != file.size ||
        other->second.sha256 != file.sha256) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<PublicKey> keys = {PublicKeyOf(Key())};
  ReleaseManifest checked;
  CheckManifest(text, keys, {"quennvoldar-sample", ReleaseFolder::Product}, 0, 0, checked);

  const std::optional<ReleaseManifest> content = ReadManifestContent(text);
  if (!content) return 0;
  ReleaseManifest again;
  const ManifestVerdict verdict = CheckManifest(SignManifest(*content, Key()), keys,
                                                content->target, content->expires - 1, 0, again);
  Require(verdict == ManifestVerdict::Accepted, "a signed manifest is not accepted");
  Require(Same(*content, again), "a signed manifest reads back otherwise");
  return 0;
}
