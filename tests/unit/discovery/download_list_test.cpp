// The download-list decision against real files in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "../app/form_fixture.h"
#include "platform/file_info.h"
#include "platform/paths.h"
#include "platform/sha256.h"
#include "run/installed_record.h"

namespace {

const std::string kRoot = "/Produkt/";
const std::string kFolder = "/Produkt/Daten/Bilder/";
const std::string kName = "bild.png";
const std::string kContent(300, 'x');

TDateTime At(int hour, int minute, int second) {
  return EncodeDateTime({2026, 7, 15, hour, minute, second, 0});
}

// A local copy: its content and its last-write date.
struct LocalFile {
  std::string content;
  TDateTime date;
};

class DownloadListTest : public ::testing::Test {
 protected:
  DownloadListTest() : f({"/opt/q/Quennvoldar", "Produkt.cfg"}) {
    f.form->State().InstallOrdner = f.temp.Path() + "install" + kPathDelim;
    f.form->State().DownloadOrdner = f.temp.Path() + "download" + kPathDelim;
  }

  std::string Relative() const { return std::string("Daten") + kPathDelim + "Bilder" + kPathDelim; }
  std::string InstalledPath() const { return f.form->State().InstallOrdner + Relative() + kName; }
  std::string DownloadedPath() const { return f.form->State().DownloadOrdner + Relative() + kName; }

  void Place(const std::string& path, const LocalFile& file) const {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << file.content;
    ASSERT_TRUE(SetFileDateByName(path, file.date));
  }

  void Check(TDateTime serverDate, std::int64_t serverSize,
             const std::string& folder = kFolder) const {
    FtpListItem item;
    item.name = kName;
    item.type = FtpItemType::File;
    item.size = serverSize;
    item.modified = serverDate;
    discovery::CheckServerFile(f.form->State(), item, folder, kName, kRoot);
  }

  FormFixture f;
};

}  // namespace

TEST_F(DownloadListTest, InstalledFileDecidesByMinuteAndSize) {
  struct Case {
    const char* what;
    std::optional<LocalFile> installed;
    TDateTime serverDate;
    std::int64_t serverSize;
    bool listed;
  };
  const Case cases[] = {
      {"same minute, seconds differ", LocalFile{kContent, At(10, 15, 0)}, At(10, 15, 59), 300,
       false},
      {"one minute later locally", LocalFile{kContent, At(10, 16, 0)}, At(10, 15, 0), 300, true},
      {"one byte more on the server", LocalFile{kContent, At(10, 15, 0)}, At(10, 15, 0), 301, true},
      {"installed copy newer", LocalFile{kContent, At(11, 0, 0)}, At(10, 15, 0), 300, true},
      {"missing locally", std::nullopt, At(10, 15, 0), 300, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(f.form->State().InstallOrdner);
    f.form->State().DownloadFiles.clear();
    f.form->State().ServerFiles.clear();
    f.form->State().MaxSize = 0;
    if (c.installed) Place(InstalledPath(), *c.installed);
    Check(c.serverDate, c.serverSize);
    ASSERT_EQ(f.form->State().DownloadFiles.size(), c.listed ? 1u : 0u);
    EXPECT_EQ(f.form->State().MaxSize, c.listed ? c.serverSize : 0);
    // Listed or not, the server holds it: a sweep job must keep it.
    EXPECT_EQ(f.form->State().ServerFiles, std::vector<std::string>{InstalledPath()});
  }
}

TEST_F(DownloadListTest, ListedRecordMapsTheServerFolderOntoBothLocalFolders) {
  Check(At(10, 15, 0), 300);
  ASSERT_EQ(f.form->State().DownloadFiles.size(), 1u);
  const TDownloadFile& record = f.form->State().DownloadFiles[0];
  EXPECT_EQ(record.Name, kName);
  EXPECT_EQ(record.ServOrdner, kFolder);
  EXPECT_EQ(record.InstOrdner, f.form->State().InstallOrdner + Relative());
  EXPECT_EQ(record.DownOrdner, f.form->State().DownloadOrdner + Relative());
  EXPECT_EQ(record.Size, 300);
  EXPECT_DOUBLE_EQ(record.Datum, At(10, 15, 0));
}

TEST_F(DownloadListTest, FileInTheRootHasAnEmptyRelativePath) {
  Check(At(10, 15, 0), 300, kRoot);
  ASSERT_EQ(f.form->State().DownloadFiles.size(), 1u);
  EXPECT_EQ(f.form->State().DownloadFiles[0].InstOrdner, f.form->State().InstallOrdner);
  EXPECT_EQ(f.form->State().DownloadFiles[0].DownOrdner, f.form->State().DownloadOrdner);
}

TEST_F(DownloadListTest, NegativeListedSizeCountsByItsAbsoluteValue) {
  Check(At(10, 15, 0), -300);
  Check(At(10, 15, 0), 200, kRoot);
  ASSERT_EQ(f.form->State().DownloadFiles.size(), 2u);
  EXPECT_EQ(f.form->State().DownloadFiles[0].Size, 300);
  EXPECT_EQ(f.form->State().MaxSize, 500);
}

TEST_F(DownloadListTest, CompleteCopyInTheDownloadFolderIsKeptAndNotListed) {
  Place(DownloadedPath(), {kContent, At(10, 15, 0)});
  std::filesystem::permissions(DownloadedPath(), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  Check(At(10, 15, 30), 300);
  EXPECT_TRUE(f.form->State().DownloadFiles.empty());
  EXPECT_EQ(f.temp.Read("download/Daten/Bilder/" + kName), kContent);
  // Its attributes were cleared, so the installation can take it over.
  const auto perms = std::filesystem::status(DownloadedPath()).permissions();
  EXPECT_NE(perms & std::filesystem::perms::owner_write, std::filesystem::perms::none);
}

TEST_F(DownloadListTest, PartialCopyInTheDownloadFolderIsDeleted) {
  struct Case {
    const char* what;
    bool installedMatches;
    bool listed;
  };
  const Case cases[] = {
      {"installed file current", true, false},
      {"installed file missing", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(f.form->State().InstallOrdner);
    f.form->State().DownloadFiles.clear();
    if (c.installedMatches) Place(InstalledPath(), {kContent, At(10, 15, 0)});
    Place(DownloadedPath(), {kContent.substr(0, 150), At(10, 15, 0)});
    Check(At(10, 15, 0), 300);
    EXPECT_FALSE(std::filesystem::exists(DownloadedPath()));
    EXPECT_EQ(f.form->State().DownloadFiles.size(), c.listed ? 1u : 0u);
  }
}

// With release keys the record of what was installed vouches for an
// installed file while its size and date are as recorded, and its bytes are
// not read; any other installed file is hashed, and what it hashes to joins
// the record.
TEST_F(DownloadListTest, WithReleaseKeysTheRecordSparesHashingTheInstalledFile) {
  const std::string path = "Daten/Bilder/" + kName;
  const std::string otherBytes(300, 'y');
  const auto sha256 = [](const std::string& bytes) {
    Sha256 hash;
    hash.Add(bytes.data(), bytes.size());
    return hash.HexDigest();
  };
  struct Case {
    const char* what;
    std::string installed;
    std::string recorded;  // the hash in the record; "" for no entry
    bool recordedDateCurrent;
    bool listed;
  };
  const Case cases[] = {
      {"vouched for with the signed hash, other bytes", otherBytes, sha256(kContent), true, false},
      {"vouched for with another hash, the signed bytes", kContent, sha256(otherBytes), true, true},
      {"changed since it was recorded, the signed bytes", kContent, sha256(otherBytes), false,
       false},
      {"not recorded, other bytes", otherBytes, "", true, true},
  };
  RunState& state = f.form->State();
  state.ReleaseKeys = {PublicKey{}};
  state.Releases[ReleaseFolder::Product].files[path] = {300, sha256(kContent)};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    state.DownloadFiles.clear();
    state.Installed.clear();
    Place(InstalledPath(), {c.installed, At(10, 15, 0)});
    if (!c.recorded.empty()) {
      FileFacts recorded = GetFileFacts(InstalledPath());
      if (!c.recordedDateCurrent) recorded.date += 2.0 / 86400;
      RecordFile(state.Installed, path, recorded, c.recorded);
    }
    Check(At(9, 0, 0), 300);
    EXPECT_EQ(state.DownloadFiles.size(), c.listed ? 1u : 0u);
    const std::string* known = TrustedSha256(state.Installed, path, GetFileFacts(InstalledPath()));
    ASSERT_NE(known, nullptr);
    EXPECT_EQ(*known,
              c.recordedDateCurrent && !c.recorded.empty() ? c.recorded : sha256(c.installed));
  }
}
