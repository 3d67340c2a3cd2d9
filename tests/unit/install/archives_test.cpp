#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "base/date_time.h"
#include "install_fixture.h"
#include "platform/file_system.h"
#include "resources/texts.h"
#include "zip_builder.h"

namespace {

namespace fs = std::filesystem;

bool OwnerMayWrite(const std::string& path) {
  return (fs::status(path).permissions() & fs::perms::owner_write) != fs::perms::none;
}

}  // namespace

// ---- What gets unpacked ----

TEST(ExtractArchives, NoArchiveLeavesTheStatusLineAlone) {
  InstallFixture f;
  f.Write("Produkt/a.txt", "a");
  f.ui->statusTexts.clear();
  EXPECT_TRUE(install::ExtractArchives(f.form->State(), *f.form));
  EXPECT_TRUE(f.ui->statusTexts.empty());
}

TEST(ExtractArchives, UnpacksTopLevelArchivesOfAnyLetterCaseInPlace) {
  InstallFixture f;
  ZipEntrySpec tool = ZipFile("bin/tool.exe", "tool bytes");
  tool.dosDate = ((2021 - 1980) << 9) | (3 << 5) | 4;
  tool.dosTime = (5 << 11) | (6 << 5) | (8 / 2);
  WriteZip(f.Path("Produkt/Daten.ZIP"), {tool, ZipFolder("doc/")});
  WriteZip(f.Path("Produkt/Sub/inner.zip"), {ZipFile("inner.txt", "x")});
  f.form->AnnounceStatus("Vorher");

  EXPECT_TRUE(install::ExtractArchives(f.form->State(), *f.form));
  EXPECT_EQ(f.Read("Produkt/bin/tool.exe"), "tool bytes");
  EXPECT_DOUBLE_EQ(f.Date("Produkt/bin/tool.exe"), EncodeDateTime({2021, 3, 4, 5, 6, 8, 0}));
  EXPECT_TRUE(DirectoryExists(f.Path("Produkt/doc")));
  EXPECT_FALSE(f.Exists("Produkt/Daten.ZIP"));
  // An archive in a subfolder is installed as it is.
  EXPECT_TRUE(f.Exists("Produkt/Sub/inner.zip"));
  EXPECT_FALSE(f.Exists("Produkt/Sub/inner.txt"));
  EXPECT_FALSE(f.Exists("Produkt/inner.txt"));
  const std::vector<std::string>& status = f.ui->statusTexts;
  EXPECT_NE(std::find(status.begin(), status.end(), kTextExtracting), status.end());
  EXPECT_EQ(f.ui->StatusText(), "Vorher");
}

TEST(ExtractArchives, TheArchiveUnpackedLaterWins) {
  InstallFixture f;
  WriteZip(f.Path("Produkt/a.zip"), {ZipFile("Daten/same.txt", "from a.zip")});
  WriteZip(f.Path("Produkt/b.zip"), {ZipFile("Daten/same.txt", "from b.zip")});
  std::string later;
  for (const DirEntry& entry : ListDirectory(f.form->State().DownloadOrdner)) later = entry.name;
  EXPECT_TRUE(install::ExtractArchives(f.form->State(), *f.form));
  EXPECT_EQ(f.Read("Produkt/Daten/same.txt"), "from " + later);
}

TEST(ExtractArchives, NamesAreUtf8WhenFlaggedElseCp437) {
  InstallFixture f;
  ZipEntrySpec cp437 = ZipFile(
      "Gr\x81\xE1"
      "e.txt",
      "cp437");  // "Grüße" in CP437
  cp437.nameEncoding = ZIP_FL_ENC_CP437;
  WriteZip(f.Path("Produkt/names.zip"), {cp437, ZipFile("\xC3\xA4rger/\xC3\xB6l.txt", "utf8"),
                                         ZipFile("Back\\slash.txt", "backslash")});
  // UTF-8 bytes without the flag are read as CP437.
  WriteZip(f.Path("Produkt/unflagged.zip"), {ZipFile("\xC3\xA4.txt", "unflagged")});
  ClearUtf8Flags(f.Path("Produkt/unflagged.zip"));
  EXPECT_TRUE(install::ExtractArchives(f.form->State(), *f.form));
  EXPECT_EQ(f.Read("Produkt/Grüße.txt"), "cp437");
  EXPECT_EQ(f.Read("Produkt/ärger/öl.txt"), "utf8");
  EXPECT_EQ(f.Read("Produkt/Back/slash.txt"), "backslash");
  EXPECT_EQ(f.Read("Produkt/├ñ.txt"), "unflagged");
}

TEST(ExtractArchives, ReadOnlyOnlyFromDosMadeEntries) {
  InstallFixture f;
  ZipEntrySpec dosReadOnly = ZipFile("ro.txt", "r");
  dosReadOnly.dosAttributes = 0x01;
  ZipEntrySpec dosArchive = ZipFile("rw.txt", "w");
  dosArchive.dosAttributes = 0x20;
  WriteZip(f.Path("Produkt/attr.zip"), {dosReadOnly, dosArchive, ZipFile("unix.txt", "u")});
  EXPECT_TRUE(install::ExtractArchives(f.form->State(), *f.form));
  EXPECT_FALSE(OwnerMayWrite(f.Path("Produkt/ro.txt")));
  EXPECT_TRUE(OwnerMayWrite(f.Path("Produkt/rw.txt")));
  EXPECT_TRUE(OwnerMayWrite(f.Path("Produkt/unix.txt")));
  // A later archive may still replace the read-only file.
  WriteZip(f.Path("Produkt/again.zip"), {ZipFile("ro.txt", "newer")});
  EXPECT_TRUE(install::ExtractArchives(f.form->State(), *f.form));
  EXPECT_EQ(f.Read("Produkt/ro.txt"), "newer");
}

// ---- What makes an archive fail ----

TEST(ExtractArchives, EntriesLeadingOutsideTheDownloadFolderFailTheArchive) {
  for (const std::string& hostile : {std::string("../evil.txt"), std::string("..\\evil.txt"),
                                     std::string("Daten/../../evil.txt"), std::string("/evil.txt"),
                                     std::string("C:\\evil.txt"), std::string("C:evil.txt")}) {
    SCOPED_TRACE(hostile);
    InstallFixture f;
    WriteZip(f.Path("Produkt/evil.zip"), {ZipFile("good.txt", "good"), ZipFile(hostile, "evil")});
    EXPECT_FALSE(install::ExtractArchives(f.form->State(), *f.form));
    EXPECT_FALSE(f.Exists("Produkt/evil.zip"));
    // Checked before writing: not even the harmless entry is there.
    EXPECT_FALSE(f.Exists("Produkt/good.txt"));
    EXPECT_FALSE(f.Exists("evil.txt"));
    EXPECT_FALSE(fs::exists("/evil.txt"));
  }
}

TEST(ExtractArchives, DamagedOrUnsupportedArchivesFailAndGo) {
  struct Case {
    std::string what;
    std::vector<ZipEntrySpec> entries;
    std::string patchFrom, patchTo;  // bytes changed in the written archive
  };
  ZipEntrySpec stored = ZipFile("data.txt", "HELLO-DATA-HELLO");
  stored.method = ZIP_CM_STORE;
  ZipEntrySpec bzip2 = ZipFile("data.txt", "compressed otherwise");
  bzip2.method = ZIP_CM_BZIP2;
  std::vector<Case> cases = {
      {"not an archive", {}, "", ""},
      {"changed data", {stored}, "HELLO-DATA", "HELLO-DATB"},
  };
  if (zip_compression_method_supported(ZIP_CM_BZIP2, 1) != 0) {
    cases.push_back({"bzip2", {bzip2}, "", ""});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InstallFixture f;
    const std::string archive = f.Path("Produkt/bad.zip");
    if (c.entries.empty()) {
      f.Write("Produkt/bad.zip", "PK\x03\x04 this is no archive");
    } else {
      WriteZip(archive, c.entries);
    }
    if (!c.patchFrom.empty()) {
      std::string bytes = f.Read("Produkt/bad.zip");
      const std::size_t at = bytes.find(c.patchFrom);
      ASSERT_NE(at, std::string::npos);
      bytes.replace(at, c.patchTo.size(), c.patchTo);
      f.Write("Produkt/bad.zip", bytes);
    }
    EXPECT_FALSE(install::ExtractArchives(f.form->State(), *f.form));
    // Neither the archive nor a part of it waits to fail the next run.
    EXPECT_FALSE(f.Exists("Produkt/bad.zip"));
    EXPECT_FALSE(f.Exists("Produkt/data.txt"));
  }
}

TEST(ExtractArchives, CancelDuringAnExtractionKeepsTheArchive) {
  InstallFixture f;
  WriteZip(f.Path("Produkt/a.zip"), {ZipFile("a.txt", "a")});
  f.ui->onNextProcessMessages = [&f] { f.form->State().CancelS = true; };
  EXPECT_FALSE(install::ExtractArchives(f.form->State(), *f.form));
  EXPECT_TRUE(f.Exists("Produkt/a.zip"));
  EXPECT_TRUE(f.Exists("Produkt/a.txt"));
}
