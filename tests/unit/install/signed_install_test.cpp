// With release keys the installation knows the signed hash of every waiting
// file, and the record of what was installed vouches for installed files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/date_time.h"
#include "base/strings.h"
#include "install_fixture.h"
#include "platform/replacing_write.h"
#include "run/installed_record.h"

namespace {

const TDateTime kInstalledDate = EncodeDateTime({2020, 1, 2, 3, 4, 6, 0});
const TDateTime kDownloadDate = EncodeDateTime({2024, 5, 6, 7, 8, 10, 0});
const std::string kSignedA(64, 'a');
const std::string kOtherHash(64, '0');

// An install-only run with a key, whose check of the waiting files gave
// their signed hashes.
void HoldKeys(InstallFixture& f, const std::map<std::string, std::string>& waiting) {
  f.form->State().ReleaseKeys = {PublicKey{}};
  f.form->State().WaitingSha256 = waiting;
}

std::string RecordOf(const InstallFixture& f) {
  return f.Exists("inst/Quennvoldar.sha256") ? f.Read("inst/Quennvoldar.sha256") : "<none>";
}

}  // namespace

// Where the record vouches for the installed file, the hashes decide and no
// byte is compared; where it does not, the bytes do.
TEST(VerifyFiles, WithReleaseKeysTheRecordSparesTheComparison) {
  struct Case {
    std::string what;
    std::string installed;  // the download is "neu!"
    std::string recordedSha256;
    bool recordedDateCurrent;
    bool identical;
  };
  const std::vector<Case> cases = {
      {"vouched for with the signed hash, other bytes", "alt!", kSignedA, true, true},
      {"vouched for with another hash, same bytes", "neu!", kOtherHash, true, false},
      {"changed since it was recorded", "neu!", kOtherHash, false, true},
      {"not recorded", "neu!", "", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InstallFixture f;
    HoldKeys(f, {{"a.txt", kSignedA}});
    f.Write("inst/a.txt", c.installed);
    f.SetDate("inst/a.txt", kInstalledDate);
    f.Write("Produkt/a.txt", "neu!");
    f.SetDate("Produkt/a.txt", kDownloadDate);
    if (!c.recordedSha256.empty()) {
      FileFacts recorded = GetFileFacts(f.Path("inst/a.txt"));
      if (!c.recordedDateCurrent) recorded.date -= 1.0 / 86400;
      RecordFile(f.form->State().Installed, "a.txt", recorded, c.recordedSha256);
    }
    install::BuildInstallList(f.form->State());

    EXPECT_TRUE(install::VerifyFiles(f.form->State(), *f.form));
    EXPECT_EQ(f.Exists("Produkt/a.txt"), !c.identical);
    EXPECT_EQ(f.Read("inst/a.txt"), c.installed);
    EXPECT_EQ(f.form->State().OrdnerFiles.size(), c.identical ? 0u : 1u);
    // What verification found identical is the signed file, as it is now.
    const std::string* trusted =
        TrustedSha256(f.form->State().Installed, "a.txt", GetFileFacts(f.Path("inst/a.txt")));
    if (c.identical) {
      ASSERT_NE(trusted, nullptr);
      EXPECT_EQ(*trusted, kSignedA);
      EXPECT_DOUBLE_EQ(f.Date("inst/a.txt"), kDownloadDate);
    }
  }
}

// The record lands with the files it names, through the journal, and only
// with release keys.
TEST(CopyFiles, TheRecordLandsWithTheFilesAndOnlyWithThem) {
  struct Case {
    std::string what;
    bool keys;
    bool markerSaved;
    bool landed;
  };
  const std::vector<Case> cases = {
      {"with keys", true, true, true},
      {"without keys", false, true, true},
      {"with keys, the copied marker not saved", true, false, false},
  };
  const std::string kSignedB(64, 'b');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InstallFixture f;
    if (c.keys) HoldKeys(f, {{"a.txt", kSignedA}, {"Neu/b.txt", kSignedB}});
    f.Write("inst/Quennvoldar.sha256", "der alte Bericht\n");
    f.Write("inst/a.txt", "alt");
    f.Write("Produkt/a.txt", "neu a");
    f.Write("Produkt/Neu/b.txt", "neu b");
    f.SetDate("Produkt/Neu/b.txt", kDownloadDate);
    if (!c.markerSaved) f.form->State().CfgFilename = f.Path("no such folder/P.cfg");
    install::BuildInstallList(f.form->State());
    ASSERT_TRUE(install::VerifyFiles(f.form->State(), *f.form));

    EXPECT_EQ(install::CopyFiles(f.form->State(), *f.form), c.landed);
    EXPECT_EQ(f.Read("inst/a.txt"), c.landed ? "neu a" : "alt");
    if (!c.keys || !c.landed) {
      EXPECT_EQ(RecordOf(f), "der alte Bericht\n");
      continue;
    }
    // A fresh look at each installed file finds it vouched for.
    const InstalledRecord record = ReadInstalledRecord(f.Path("inst/Quennvoldar.sha256"));
    for (const auto& [path, sha256] : {std::pair{"a.txt", kSignedA}, {"Neu/b.txt", kSignedB}}) {
      const std::string* trusted =
          TrustedSha256(record, path, GetFileFacts(f.Path("inst/") + path));
      ASSERT_NE(trusted, nullptr) << path;
      EXPECT_EQ(*trusted, sha256);
    }
    EXPECT_TRUE(ContainsText(f.form->State().UninstSl.lines, f.Path("inst/Quennvoldar.sha256")));
  }
}
