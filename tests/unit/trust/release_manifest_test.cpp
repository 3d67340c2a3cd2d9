#include "trust/release_manifest.h"

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t kNow = 1'800'000'000;

ReleaseManifest SampleRelease() {
  ReleaseManifest manifest;
  manifest.release = 7;
  manifest.expires = kNow + 86400;
  manifest.files["Quennvoldar2"] = {3, std::string(64, 'a')};
  manifest.files["Daten/Bilder/a b.png"] = {0, std::string(64, 'b')};
  return manifest;
}

ManifestVerdict Check(const std::string& text, const std::vector<PublicKey>& keys,
                      std::int64_t floor = 0) {
  ReleaseManifest read;
  return CheckManifest(text, keys, kNow, floor, read);
}

}  // namespace

TEST(ReleaseManifest, ASignedManifestIsReadBack) {
  const SecretKey key = GenerateSecretKey();
  ReleaseManifest read;
  ASSERT_EQ(CheckManifest(SignManifest(SampleRelease(), key), {PublicKeyOf(key)}, kNow, 7, read),
            ManifestVerdict::Accepted);
  EXPECT_EQ(read.release, 7);
  EXPECT_EQ(read.expires, kNow + 86400);
  ASSERT_EQ(read.files.size(), 2u);
  EXPECT_EQ(read.files.at("Daten/Bilder/a b.png").size, 0);
  EXPECT_EQ(read.files.at("Quennvoldar2").sha256, std::string(64, 'a'));
}

TEST(ReleaseManifest, EveryKeyOfTheBuildIsAccepted) {
  const SecretKey old = GenerateSecretKey();
  const SecretKey next = GenerateSecretKey();
  const std::vector<PublicKey> keys = {PublicKeyOf(old), PublicKeyOf(next)};
  EXPECT_EQ(Check(SignManifest(SampleRelease(), old), keys), ManifestVerdict::Accepted);
  EXPECT_EQ(Check(SignManifest(SampleRelease(), next), keys), ManifestVerdict::Accepted);
  EXPECT_EQ(Check(SignManifest(SampleRelease(), next), {PublicKeyOf(old)}),
            ManifestVerdict::NotSigned);
}

TEST(ReleaseManifest, RefusalsInTheOrderTheyAreChecked) {
  const SecretKey key = GenerateSecretKey();
  const std::vector<PublicKey> keys = {PublicKeyOf(key)};
  const std::string signed_ = SignManifest(SampleRelease(), key);
  ReleaseManifest expired = SampleRelease();
  expired.expires = kNow;
  ReleaseManifest outside = SampleRelease();
  outside.files["../boot.ini"] = {1, std::string(64, 'c')};
  std::string changedByte = signed_;
  changedByte[signed_.find("file 3 ") + 5] = '4';
  struct Case {
    const char* what;
    std::string text;
    std::int64_t floor;
    ManifestVerdict verdict;
  } cases[] = {
      {"a changed byte", changedByte, 0, ManifestVerdict::NotSigned},
      {"no signature", signed_.substr(0, signed_.rfind("signature ")), 0,
       ManifestVerdict::NotSigned},
      {"a line after the signature", signed_ + "file 1 x y\n", 0, ManifestVerdict::NotSigned},
      {"a signed path outside the folder", SignManifest(outside, key), 0,
       ManifestVerdict::NotSigned},
      {"nothing", "", 0, ManifestVerdict::NotSigned},
      {"expired", SignManifest(expired, key), 0, ManifestVerdict::Expired},
      {"older than the floor", signed_, 8, ManifestVerdict::Older},
      {"expired and older", SignManifest(expired, key), 8, ManifestVerdict::Expired},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Check(c.text, keys, c.floor), c.verdict) << c.what;
  }
}

TEST(ReleaseManifest, KeysAndTimesInTheirTextForm) {
  const SecretKey key = GenerateSecretKey();
  const std::string hex = PublicKeyHex(PublicKeyOf(key));
  const auto keys = ParsePublicKeys(" " + hex + "\n" + hex + " ");
  ASSERT_TRUE(keys.has_value());
  EXPECT_EQ(keys->size(), 2u);
  EXPECT_FALSE(ParsePublicKeys(hex.substr(1)).has_value());
  EXPECT_EQ(ParseSecretKey(SecretKeyHex(key) + "\n"), key);

  EXPECT_EQ(ParseUtcTime("1970-01-01T00:00:00Z"), 0);
  EXPECT_EQ(ParseUtcTime("2024-02-29T23:59:59Z"), 1709251199);
  EXPECT_EQ(FormatUtcTime(1709251199), "2024-02-29T23:59:59Z");
  for (const char* bad : {"2023-02-29T00:00:00Z", "2024-01-01 00:00:00Z", "2024-01-01T24:00:00Z",
                          "2024-01-01T00:00:00", "2024-1-01T00:00:00Z"}) {
    EXPECT_FALSE(ParseUtcTime(bad).has_value()) << bad;
  }
}
