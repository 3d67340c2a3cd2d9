#include "trust/release_manifest.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr std::int64_t kNow = 1'800'000'000;
const ReleaseTarget kTarget{"quennvoldar-sample", ReleaseFolder::Product};

ReleaseManifest SampleRelease() {
  ReleaseManifest manifest;
  manifest.target = kTarget;
  manifest.release = 7;
  manifest.expires = kNow + 86400;
  manifest.files["Quennvoldar2"] = {3, std::string(64, 'a')};
  manifest.files["Daten/Bilder/a b.png"] = {0, std::string(64, 'b')};
  return manifest;
}

ManifestVerdict Check(const std::string& text, const std::vector<PublicKey>& keys,
                      std::int64_t floor = 0) {
  ReleaseManifest read;
  return CheckManifest(text, keys, kTarget, kNow, floor, read);
}

}  // namespace

TEST(ReleaseManifest, ASignedManifestIsReadBack) {
  const SecretKey key = GenerateSecretKey();
  const std::string text = SignManifest(SampleRelease(), key);
  EXPECT_EQ(text.substr(0, text.find("\nrelease ") + 1),
            "quennvoldar-release 2\nproduct quennvoldar-sample\nfolder product\n");
  ReleaseManifest read;
  ASSERT_EQ(CheckManifest(text, {PublicKeyOf(key)}, kTarget, kNow, 7, read),
            ManifestVerdict::Accepted);
  EXPECT_EQ(read.target.product, "quennvoldar-sample");
  EXPECT_EQ(read.target.folder, ReleaseFolder::Product);
  EXPECT_EQ(read.release, 7);
  EXPECT_EQ(read.expires, kNow + 86400);
  ASSERT_EQ(read.files.size(), 2u);
  EXPECT_EQ(read.files.at("Daten/Bilder/a b.png").size, 0);
  EXPECT_EQ(read.files.at("Quennvoldar2").sha256, std::string(64, 'a'));
}

TEST(ReleaseManifest, TheLastReleaseNumberIsReadAndKeptAsTheFloor) {
  const SecretKey key = GenerateSecretKey();
  ReleaseManifest last = SampleRelease();
  last.release = std::numeric_limits<std::int64_t>::max();
  const std::string text = SignManifest(last, key);
  EXPECT_NE(text.find("\nrelease 9223372036854775807\n"), std::string::npos);
  EXPECT_EQ(Check(text, {PublicKeyOf(key)}, last.release), ManifestVerdict::Accepted);
}

TEST(ReleaseManifest, ASignedManifestIsReadWithoutJudgingItsTargetOrExpiry) {
  const SecretKey key = GenerateSecretKey();
  ReleaseManifest other = SampleRelease();
  other.target = {"anderes-produkt", ReleaseFolder::Updater};
  other.expires = kNow - 1;
  const std::optional<ReleaseManifest> read =
      ReadSignedManifest(SignManifest(other, key), {PublicKeyOf(key)});
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->target.product, "anderes-produkt");
  EXPECT_EQ(read->target.folder, ReleaseFolder::Updater);
  EXPECT_EQ(read->expires, kNow - 1);
  EXPECT_FALSE(ReadSignedManifest(SignManifest(other, key), {PublicKeyOf(GenerateSecretKey())}));
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
  ReleaseManifest unnamed = SampleRelease();
  unnamed.target.product = "zwei Wörter";
  ReleaseManifest otherProduct = SampleRelease();
  otherProduct.target.product = "anderes-produkt";
  ReleaseManifest otherFolder = SampleRelease();
  otherFolder.target.folder = ReleaseFolder::Updater;
  ReleaseManifest otherAndExpired = otherFolder;
  otherAndExpired.expires = kNow;
  std::string firstVersion = signed_;
  firstVersion.replace(0, firstVersion.find('\n'), "quennvoldar-release 1");
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
      {"a signed product no manifest may name", SignManifest(unnamed, key), 0,
       ManifestVerdict::NotSigned},
      {"the first format's line", firstVersion, 0, ManifestVerdict::NotSigned},
      {"nothing", "", 0, ManifestVerdict::NotSigned},
      {"another product", SignManifest(otherProduct, key), 0, ManifestVerdict::ForOther},
      {"the updater's folder", SignManifest(otherFolder, key), 0, ManifestVerdict::ForOther},
      {"another folder and expired", SignManifest(otherAndExpired, key), 0,
       ManifestVerdict::ForOther},
      {"expired", SignManifest(expired, key), 0, ManifestVerdict::Expired},
      {"older than the floor", signed_, 8, ManifestVerdict::Older},
      {"expired and older", SignManifest(expired, key), 8, ManifestVerdict::Expired},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Check(c.text, keys, c.floor), c.verdict) << c.what;
  }
}

TEST(ReleaseManifest, NamesAManifestMayHold) {
  const std::string longName(kReleasableNameLimit, 'n');
  std::string longPath;
  while (longPath.size() + 201 < kReleasablePathLimit) longPath += std::string(200, 'o') + "/";
  longPath += std::string(kReleasablePathLimit - longPath.size(), 'p');
  ASSERT_EQ(longPath.size(), kReleasablePathLimit);
  for (const std::string& path :
       {std::string("a"), std::string("Daten/Bilder/a b.png"), std::string("K\xC3\xA4se.dat"),
        std::string(".versteckt"), std::string("a..b"), std::string("CONSOLE"), std::string("COM0"),
        std::string("LPT10.txt"), std::string("nulx.txt"), longName, longPath}) {
    EXPECT_TRUE(IsReleasablePath(path)) << path;
  }
  for (const std::string& path : {std::string(""),
                                  std::string("/a"),
                                  std::string("a/"),
                                  std::string("a//b"),
                                  std::string("./a"),
                                  std::string("a/../b"),
                                  std::string(".."),
                                  std::string("a\tb"),
                                  std::string("a\nfile 1 x"),
                                  std::string("a\rb"),
                                  std::string("a\x7f"),
                                  std::string("a\0b", 3),
                                  std::string("c:a"),
                                  std::string("a:stream"),
                                  std::string("..\\evil.txt"),
                                  std::string("a\\b"),
                                  std::string("punkt."),
                                  std::string("leer "),
                                  std::string("Ordner./a"),
                                  std::string("CON"),
                                  std::string("con"),
                                  std::string("nul.txt"),
                                  std::string("Daten/Aux.tar.gz"),
                                  std::string("PRN"),
                                  std::string("COM1"),
                                  std::string("lpt9.log"),
                                  std::string("CONIN$"),
                                  std::string("conout$.txt"),
                                  longName + "n",
                                  longPath + "p"}) {
    EXPECT_FALSE(IsReleasablePath(path)) << path;
  }
}

TEST(ReleaseManifest, ProductIdentities) {
  for (const std::string& id :
       {std::string("quennvoldar-sample"), std::string("A.b_c-9"), std::string(64, 'p')}) {
    EXPECT_TRUE(IsProductIdentity(id)) << id;
  }
  for (const std::string& id :
       {std::string(""), std::string(65, 'p'), std::string("zwei Worte"), std::string("a/b"),
        std::string("K\xC3\xA4se"), std::string("a\n")}) {
    EXPECT_FALSE(IsProductIdentity(id)) << id;
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
