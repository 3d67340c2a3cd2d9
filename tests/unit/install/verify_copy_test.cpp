#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "base/date_time.h"
#include "base/strings.h"
#include "install_fixture.h"
#include "platform/file_system.h"
#include "resources/texts.h"
#include "zip_builder.h"

namespace {

namespace fs = std::filesystem;

const TDateTime kInstalledDate = EncodeDateTime({2020, 1, 2, 3, 4, 6, 0});
const TDateTime kDownloadDate = EncodeDateTime({2024, 5, 6, 7, 8, 10, 0});

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Files an interrupted copy could have left beside the installed ones.
std::vector<std::string> TemporaryFiles(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.path().filename().string().front() == '~') found.push_back(entry.path().string());
  }
  return found;
}

}  // namespace

// ---- Comparing ----

TEST(FilesIdentical, SameLengthAndSameBytesOnly) {
  struct Case {
    std::string what;
    std::optional<std::string> a, b;
    bool identical;
  };
  const std::string block(65536, 'x');
  const std::vector<Case> cases = {
      {"two empty files", "", "", true},
      {"one block and a byte", block + "y", block + "y", true},
      {"exactly two blocks", block + block, block + block, true},
      {"last byte differs", std::string(99, 'a') + "b", std::string(99, 'a') + "c", false},
      {"second block differs", block + "a", block + "b", false},
      {"other length", "abc", "abcd", false},
      {"second missing", "abc", std::nullopt, false},
      {"first missing", std::nullopt, "abc", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InstallFixture f;
    if (c.a) f.Write("a", *c.a);
    if (c.b) f.Write("b", *c.b);
    EXPECT_EQ(install::FilesIdentical(f.form->State(), *f.form, f.Path("a"), f.Path("b")),
              c.identical);
  }
}

// ---- Verification ----

TEST(VerifyFiles, IdenticalFilesStayAndTakeTheDownloadedDate) {
  InstallFixture f;
  f.Write("inst/Daten/same.txt", "same bytes");
  f.SetDate("inst/Daten/same.txt", kInstalledDate);
  f.Write("Produkt/Daten/same.txt", "same bytes");
  f.SetDate("Produkt/Daten/same.txt", kDownloadDate);
  f.Write("inst/other.txt", "old");
  f.Write("Produkt/other.txt", "new!");
  f.Write("Produkt/new.txt", "brand new");
  install::BuildInstallList(f.form->State());

  EXPECT_TRUE(install::VerifyFiles(f.form->State(), *f.form));
  EXPECT_FALSE(f.Exists("Produkt/Daten/same.txt"));
  EXPECT_DOUBLE_EQ(f.Date("inst/Daten/same.txt"), kDownloadDate);
  EXPECT_EQ(f.Read("inst/other.txt"), "old");
  EXPECT_TRUE(f.Exists("Produkt/other.txt"));
  EXPECT_TRUE(f.Exists("Produkt/new.txt"));
  EXPECT_EQ(f.form->State().MaxSize, 4 + 9);
  EXPECT_EQ(f.form->State().AktSize, f.form->State().MaxSize);
  EXPECT_TRUE(EndsWith(f.ui->trayHints.back(), "(Prüfe: 100 %)"));
}

TEST(VerifyFiles, SpecialNamesAreNeverComparedAtTheTopOnly) {
  InstallFixture f;
  const std::string own = std::string("Quennvoldar") + kExeSuffix;
  for (const std::string& name : {own, std::string("NVDACONTROLLERCLIENT32.DLL"), "Lib/" + own,
                                  std::string("Lib/nvdaControllerClient32.dll")}) {
    f.Write("inst/" + name, "same");
    f.Write("Produkt/" + name, "same");
  }
  install::BuildInstallList(f.form->State());
  EXPECT_TRUE(install::VerifyFiles(f.form->State(), *f.form));
  EXPECT_TRUE(f.Exists("Produkt/" + own));
  EXPECT_TRUE(f.Exists("Produkt/NVDACONTROLLERCLIENT32.DLL"));
  EXPECT_FALSE(f.Exists("Produkt/Lib/" + own));
  EXPECT_FALSE(f.Exists("Produkt/Lib/nvdaControllerClient32.dll"));
}

TEST(VerifyFiles, CancelInsideALargeComparisonStopsAtTheNextEntry) {
  InstallFixture f;
  const std::string large(3 * 65536, 'L');
  f.Write("inst/large.bin", large);
  f.Write("Produkt/large.bin", large);
  f.Write("inst/small.txt", "s");
  f.Write("Produkt/small.txt", "s");
  install::BuildInstallList(f.form->State());
  f.form->State().OrdnerFiles = {"large.bin", "small.txt"};
  // The entry's own pass, then the first block: cancel arrives there.
  f.ui->onNextProcessMessages = [&f] {
    f.ui->onNextProcessMessages = [&f] { f.form->State().CancelS = true; };
  };
  EXPECT_FALSE(install::VerifyFiles(f.form->State(), *f.form));
  EXPECT_TRUE(f.Exists("Produkt/large.bin"));
  EXPECT_TRUE(f.Exists("Produkt/small.txt"));
  EXPECT_EQ(f.form->State().AktSize, static_cast<std::int64_t>(large.size()));
  EXPECT_EQ(f.form->State().Status, TStatus::sNoUpdated);
  EXPECT_TRUE(f.ui->informations.empty());
}

// ---- Copying ----

TEST(CopyFiles, InstallsNewFilesWithTheirDatesAndRecordsThem) {
  InstallFixture f;
  f.Write("Produkt/Neu/Tief/x.txt", "new file");
  f.SetDate("Produkt/Neu/Tief/x.txt", kDownloadDate);
  f.Write("inst/ro.txt", "old read-only");
  ASSERT_TRUE(SetReadOnly(f.Path("inst/ro.txt")));
  f.Write("Produkt/ro.txt", "replaced");
  install::BuildInstallList(f.form->State());
  ASSERT_TRUE(install::VerifyFiles(f.form->State(), *f.form));
  install::BuildInstallList(f.form->State());

  EXPECT_TRUE(install::CopyFiles(f.form->State(), *f.form));
  EXPECT_EQ(f.Read("inst/Neu/Tief/x.txt"), "new file");
  EXPECT_DOUBLE_EQ(f.Date("inst/Neu/Tief/x.txt"), kDownloadDate);
  EXPECT_EQ(f.Read("inst/ro.txt"), "replaced");
  EXPECT_FALSE(f.Exists("Produkt/Neu/Tief/x.txt"));
  EXPECT_FALSE(f.Exists("Produkt/ro.txt"));
  EXPECT_TRUE(ContainsText(f.form->State().UninstSl.lines, f.Path("inst/Neu/Tief/x.txt")));
  EXPECT_TRUE(ContainsText(f.form->State().UninstSl.lines, f.Path("inst/ro.txt")));
  EXPECT_EQ(f.SavedMarker(), "1");
  EXPECT_TRUE(TemporaryFiles(f.Path("inst")).empty());
}

TEST(CopyFiles, AReplacedFileKeepsItsPermissions) {
  InstallFixture f;
  f.Write("inst/programm", "old program");
  fs::permissions(f.Path("inst/programm"), fs::perms(0750));
  if (fs::status(f.Path("inst/programm")).permissions() != fs::perms(0750)) {
    GTEST_SKIP() << "no POSIX permission bits here";
  }
  f.Write("Produkt/programm", "new program");
  install::BuildInstallList(f.form->State());
  EXPECT_TRUE(install::CopyFiles(f.form->State(), *f.form));
  EXPECT_EQ(f.Read("inst/programm"), "new program");
  EXPECT_EQ(fs::status(f.Path("inst/programm")).permissions(), fs::perms(0750));
}

TEST(CopyFiles, ProgressCountsCopiedBytes) {
  InstallFixture f;
  f.Write("Produkt/a.bin", std::string(300, 'a'));
  f.Write("Produkt/b.bin", std::string(100, 'b'));
  install::BuildInstallList(f.form->State());
  f.form->State().OrdnerFiles = {"a.bin", "b.bin"};
  f.ui->trayHints.clear();
  EXPECT_TRUE(install::CopyFiles(f.form->State(), *f.form));
  ASSERT_EQ(f.ui->trayHints.size(), 2u);
  EXPECT_EQ(f.ui->trayHints[0], f.form->State().InstanceTitle + " (Kopiere: 75 %)");
  EXPECT_EQ(f.ui->trayHints[1], f.form->State().InstanceTitle + " (Kopiere: 100 %)");
}

TEST(CopyFiles, TheCopiedMarkerIsWrittenOnceAndOnlyWhenNotExactlyOne) {
  struct Case {
    std::string marker;
    int writes;
  };
  for (const Case& c : std::vector<Case>{{"0", 1}, {"1", 0}, {" 1", 1}, {"-1", 1}, {"", 1}}) {
    SCOPED_TRACE("marker '" + c.marker + "'");
    InstallFixture f(c.marker);
    f.Write("Produkt/a.txt", "a");
    f.Write("Produkt/b.txt", "b");
    install::BuildInstallList(f.form->State());
    int writes = 0;
    std::function<void()> watch = [&] {
      if (f.Exists("P.cfg")) {
        ++writes;
        EXPECT_EQ(f.SavedMarker(), "1");
        fs::remove(f.Path("P.cfg"));
      }
      f.ui->onNextProcessMessages = watch;
    };
    fs::remove(f.Path("P.cfg"));
    f.ui->onNextProcessMessages = watch;
    EXPECT_TRUE(install::CopyFiles(f.form->State(), *f.form));
    watch();
    EXPECT_EQ(writes, c.writes);
  }
}

TEST(CopyFiles, AnUnsavedMarkerInstallsNothingAndKeepsTheDownload) {
  InstallFixture f;
  f.Write("inst/a.txt", "old");
  f.Write("Produkt/a.txt", "a");
  install::BuildInstallList(f.form->State());
  f.form->State().CfgFilename = f.Path("no such folder/P.cfg");
  EXPECT_FALSE(install::CopyFiles(f.form->State(), *f.form));
  EXPECT_EQ(f.Read("inst/a.txt"), "old");
  EXPECT_TRUE(TemporaryFiles(f.Path("inst")).empty());
  EXPECT_TRUE(f.Exists("Produkt/a.txt"));
  EXPECT_EQ(f.form->State().Status, TStatus::sNoUpdated);
}

TEST(CopyFiles, StopsAtTheRunningUpdaterForTheSecondCopy) {
  InstallFixture f;
  const std::string own = std::string("Quennvoldar") + kExeSuffix;
  const std::string second = std::string("Quennvoldar2") + kExeSuffix;
  f.Write("Produkt/" + own, "own");
  f.Write("Produkt/" + second, "second");
  f.Write("Produkt/a.txt", "a");
  install::BuildInstallList(f.form->State());
  EXPECT_FALSE(install::CopyFiles(f.form->State(), *f.form));
  EXPECT_TRUE(f.form->State().StartUpdater2S);
  EXPECT_FALSE(f.form->State().CancelS);
  EXPECT_EQ(f.Read("inst/" + second), "second");
  EXPECT_TRUE(ContainsText(f.form->State().UninstSl.lines, f.Path("inst/" + second)));
  EXPECT_TRUE(f.Exists("Produkt/" + own));
  EXPECT_TRUE(f.Exists("Produkt/a.txt"));
  EXPECT_FALSE(f.Exists("inst/" + own));
}

TEST(CopyFiles, TheSecondCopyInstallsTheScreenReaderLibraryItself) {
  const std::string first = std::string("Quennvoldar") + kExeSuffix;
  const std::string second = std::string("Quennvoldar2") + kExeSuffix;
  for (const auto& [running, restarts] : {std::pair{first, true}, std::pair{second, false}}) {
    SCOPED_TRACE("running as " + running);
    InstallFixture f;
    f.form->State().ExePath = f.Path("inst/" + running);
    f.Write("Produkt/nvdaControllerClient32.dll", "new library");
    f.Write("Produkt/a.txt", "a");
    install::BuildInstallList(f.form->State());
    EXPECT_EQ(install::CopyFiles(f.form->State(), *f.form), !restarts);
    EXPECT_EQ(f.form->State().StartUpdater2S, restarts);
    EXPECT_EQ(f.Exists("inst/nvdaControllerClient32.dll"), !restarts);
  }
}

TEST(CopyFiles, TheUpdatersProgramsAreInstalledStartable) {
  // Each copy installs the other one's program; the restart starts it.
  const std::string first = std::string("Quennvoldar") + kExeSuffix;
  const std::string second = std::string("Quennvoldar2") + kExeSuffix;
  for (const auto& [running, brought] : {std::pair{first, second}, std::pair{second, first}}) {
    SCOPED_TRACE("running as " + running);
    InstallFixture f;
    f.form->State().ExePath = f.Path("inst/" + running);
    f.Write("Produkt/" + brought, "program");
    f.Write("Produkt/daten.txt", "data");
    install::BuildInstallList(f.form->State());
    f.Write("probe", "");
    fs::permissions(f.Path("probe"), fs::perms(0750));
    if (fs::status(f.Path("probe")).permissions() != fs::perms(0750)) {
      GTEST_SKIP() << "no POSIX permission bits here";
    }
    EXPECT_TRUE(install::CopyFiles(f.form->State(), *f.form));
    const fs::perms execute = fs::perms::owner_exec | fs::perms::group_exec;
    EXPECT_EQ(fs::status(f.Path("inst/" + brought)).permissions() & execute, execute);
    EXPECT_EQ(fs::status(f.Path("inst/daten.txt")).permissions() & execute, fs::perms::none);
  }
}

TEST(CopyFiles, PermissionBitsComeFromTheArchiveOrStayWithTheReplacedFile) {
  InstallFixture f;
  f.Write("probe", "");
  fs::permissions(f.Path("probe"), fs::perms(0750));
  if (fs::status(f.Path("probe")).permissions() != fs::perms(0750)) {
    GTEST_SKIP() << "no POSIX permission bits here";
  }
  f.Write("inst/ersetzt.sh", "old");
  fs::permissions(f.Path("inst/ersetzt.sh"), fs::perms(0700));
  ZipEntrySpec helper = ZipFile("hilfe.sh", "#!/bin/sh");
  helper.unixMode = 04777;  // set-id and writing by others never arrive
  ZipEntrySpec replacing = ZipFile("ersetzt.sh", "new");
  replacing.unixMode = 0755;
  WriteZip(f.Path("Produkt/update.zip"), {helper, replacing, ZipFile("daten.txt", "d")});
  f.Write("Produkt/geladen.txt", "over HTTP");
  ASSERT_TRUE(install::ExtractArchives(f.form->State(), *f.form));
  install::BuildInstallList(f.form->State());
  EXPECT_TRUE(install::CopyFiles(f.form->State(), *f.form));

  const auto bits = [&f](const std::string& name) {
    return fs::status(f.Path("inst/" + name)).permissions() & fs::perms::all;
  };
  EXPECT_EQ(bits("hilfe.sh"), fs::perms(0755));
  EXPECT_EQ(bits("ersetzt.sh"), fs::perms(0700));
  // A file without stored bits gets those of any new file (0644 as root).
  EXPECT_EQ(bits("geladen.txt") & fs::perms(0600), fs::perms(0600));
  EXPECT_EQ(bits("geladen.txt") & fs::perms(0111), fs::perms::none);
}

TEST(CopyFiles, AnEmptyFileIsInstalledLikeAnyOther) {
  InstallFixture f;
  f.Write("inst/empty.txt", "installed content");
  f.Write("Produkt/empty.txt", "");
  f.Write("Produkt/Neu/leer.txt", "");
  install::BuildInstallList(f.form->State());
  EXPECT_TRUE(install::CopyFiles(f.form->State(), *f.form));
  EXPECT_TRUE(f.Exists("inst/empty.txt"));
  EXPECT_EQ(f.Read("inst/empty.txt"), "");
  EXPECT_TRUE(f.Exists("inst/Neu/leer.txt"));
  EXPECT_FALSE(f.Exists("Produkt/empty.txt"));
  EXPECT_TRUE(ContainsText(f.form->State().UninstSl.lines, f.Path("inst/empty.txt")));
  EXPECT_EQ(f.SavedMarker(), "1");
}

// A cancel inside the copy of a large file (a download on another file
// system is copied, not moved) drops what was copied of it: what was staged
// before lands, the file keeps its installed version, and the run ends as a
// cancel, not as a failure.
TEST(CopyFiles, ACancelInsideALargeCopyKeepsTheInstalledFile) {
  const fs::path otherFileSystem = "/dev/shm";
  if (!fs::is_directory(otherFileSystem)) GTEST_SKIP() << "no second file system here";
  InstallFixture f;
  const fs::path downloads = otherFileSystem / fs::path(f.Path("")).parent_path().filename();
  fs::create_directories(downloads);
  const std::unique_ptr<const fs::path, void (*)(const fs::path*)> removeDownloads(
      &downloads, [](const fs::path* folder) { fs::remove_all(*folder); });
  const std::string large(4 * 65536, 'N');
  f.Write("inst/large.bin", "installed");
  std::ofstream(downloads / "large.bin", std::ios::binary) << large;
  std::ofstream(downloads / "a.txt", std::ios::binary) << "new a";
  f.form->State().DownloadOrdner = downloads.string() + "/";
  install::BuildInstallList(f.form->State());
  f.form->State().OrdnerFiles = {"a.txt", "large.bin"};
  // The cancel arrives once a block of the large file is staged.
  const fs::path staging = f.Path("inst/~Quennvoldar.staging");
  bool cancelled = false;
  std::function<void()> watch = [&] {
    std::error_code notYet;
    for (const auto& staged : fs::directory_iterator(staging, notYet)) {
      cancelled = cancelled || (staged.is_regular_file() && staged.file_size() >= 65536);
    }
    f.form->State().CancelS = cancelled;
    if (!cancelled) f.ui->onNextProcessMessages = watch;
  };
  f.ui->onNextProcessMessages = watch;

  EXPECT_FALSE(install::CopyFiles(f.form->State(), *f.form));
  if (!cancelled) GTEST_SKIP() << "the download was moved, not copied";
  EXPECT_EQ(f.Read("inst/a.txt"), "new a");
  EXPECT_EQ(f.Read("inst/large.bin"), "installed");
  std::ifstream kept(downloads / "large.bin", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), large);
  EXPECT_TRUE(TemporaryFiles(f.Path("inst")).empty());
  EXPECT_TRUE(f.ui->informations.empty());
  EXPECT_NE(f.form->State().Status, TStatus::sError);
}

// The installed data survives a copy that cannot complete; the failure is
// reported once, with both paths, and ends the pass.
TEST(CopyFiles, AFailedCopyLeavesTheInstalledDataIntact) {
  struct Case {
    std::string what;
    std::string entry;
    std::function<void(InstallFixture&)> prepare;
    std::function<void(InstallFixture&)> check;
  };
  const std::vector<Case> cases = {
      {"a folder where the file goes", "a.txt",
       [](InstallFixture& f) { f.Write("inst/a.txt/keep.txt", "kept"); },
       [](InstallFixture& f) { EXPECT_EQ(f.Read("inst/a.txt/keep.txt"), "kept"); }},
      {"a file where the folder goes", "Sub/x.txt",
       [](InstallFixture& f) { f.Write("inst/Sub", "a file, not a folder"); },
       [](InstallFixture& f) { EXPECT_EQ(f.Read("inst/Sub"), "a file, not a folder"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InstallFixture f;
    c.prepare(f);
    f.Write("Produkt/" + c.entry, "new content");
    f.Write("Produkt/z.txt", "later");
    install::BuildInstallList(f.form->State());
    f.form->State().OrdnerFiles = {NativeSeparators(c.entry), "z.txt"};

    EXPECT_FALSE(install::CopyFiles(f.form->State(), *f.form));
    c.check(f);
    ASSERT_EQ(f.ui->informations.size(), 1u);
    EXPECT_EQ(f.ui->informations[0],
              FormatText(kMsgCopyFileFailed, {f.Path("Produkt/" + NativeSeparators(c.entry)),
                                              f.Path("inst/" + NativeSeparators(c.entry))}));
    EXPECT_EQ(f.form->State().Status, TStatus::sError);
    EXPECT_TRUE(f.form->State().CancelS);
    EXPECT_TRUE(f.Exists("Produkt/" + c.entry));
    EXPECT_FALSE(f.Exists("inst/z.txt"));
    EXPECT_TRUE(TemporaryFiles(f.Path("inst")).empty());
    EXPECT_EQ(f.SavedMarker(), "0");
  }
}
