#include <gtest/gtest.h>

#include <algorithm>

#include "install_fixture.h"
#include "platform/process.h"
#include "resources/texts.h"
#include "uninstall_entry_store.h"
#include "zip_builder.h"

namespace {

namespace fs = std::filesystem;

bool Has(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// An uninstall entry of this installation, to see whether it was refreshed.
class EntryOfThisInstallation {
 public:
  explicit EntryOfThisInstallation(const InstallFixture& f) : entry_(f.Path("registry")) {
    fs::copy_file(std::string(QV_TEST_DATA_DIR) + "/version_sample.exe", f.Path("inst/main.exe"));
    f.form->State().MutexTitel = entry_.Product() + " V1.43";
    entry_.Write({{"InstallLocation", "sz:" + f.form->State().InstallOrdner},
                  {"DisplayVersion", "sz:1.43"}});
  }
  bool Refreshed() const { return entry_.Read().value()["DisplayVersion"] == "sz:1.44"; }

 private:
  UninstallEntryStore entry_;
};

}  // namespace

// ---- Nothing to install ----

TEST(Timer3Timer, NothingDownloadedEndsAccordingToTheCopiedMarker) {
  struct Case {
    std::string marker;
    TStatus status;
  };
  for (const Case& c : std::vector<Case>{
           {"0", TStatus::sIsUpdated}, {"1", TStatus::sYesUpdated}, {" 1", TStatus::sIsUpdated}}) {
    SCOPED_TRACE("marker '" + c.marker + "'");
    InstallFixture f(c.marker);
    const EntryOfThisInstallation entry(f);
    f.form->OnTimer(3);
    EXPECT_EQ(f.form->State().Status, c.status);
    EXPECT_TRUE(f.form->State().CancelS);
    EXPECT_TRUE(f.ui->closed);
    EXPECT_FALSE(f.Exists("Produkt"));
    // Only the outcome is asked about; the main program was never asked to close.
    ASSERT_EQ(f.ui->questions.size(), 1u);
    EXPECT_EQ(f.ui->questions[0].find("muss beendet werden"), std::string::npos);
    EXPECT_EQ(entry.Refreshed(), c.status == TStatus::sYesUpdated);
  }
}

TEST(Timer3Timer, TheErrorMarkerStopsBeforeAnything) {
  InstallFixture f("-1");
  f.Write("Produkt/Quennvoldar.job", "l a.txt\r\n");
  f.Write("Produkt/pack.zip", "not even an archive");
  f.Write("Produkt/a.txt", "new");
  f.form->OnTimer(3);
  EXPECT_EQ(f.form->State().Status, TStatus::sError);
  EXPECT_TRUE(f.ui->closed);
  EXPECT_TRUE(f.ui->informations.empty());
  EXPECT_FALSE(f.Exists("Produkt/Quennvoldar.job"));
  EXPECT_TRUE(f.Exists("Produkt/pack.zip"));
  EXPECT_TRUE(f.Exists("Produkt/a.txt"));
  EXPECT_FALSE(f.Exists("inst/a.txt"));
}

TEST(Timer3Timer, AJobFileAloneIsConsumedButNotCarriedOut) {
  InstallFixture f;
  f.Write("inst/a.txt", "installed");
  f.Write("Produkt/Quennvoldar.job", "l a.txt\r\n");
  f.form->OnTimer(3);
  EXPECT_EQ(f.form->State().Status, TStatus::sIsUpdated);
  EXPECT_FALSE(f.Exists("Produkt/Quennvoldar.job"));
  EXPECT_TRUE(f.Exists("inst/a.txt"));
}

TEST(Timer3Timer, AnArchiveThatCannotBeUnpackedFailsTheRun) {
  InstallFixture f;
  f.Write("Produkt/pack.zip", "not an archive");
  f.form->OnTimer(3);
  EXPECT_EQ(f.form->State().Status, TStatus::sError);
  EXPECT_EQ(f.ui->informations, std::vector<std::string>{kMsgExtractFailed});
  EXPECT_FALSE(f.Exists("Produkt/pack.zip")) << "the next run fetches it again";
  EXPECT_TRUE(f.ui->closed);
}

// ---- Installing ----

TEST(Timer3Timer, InstallsWhatDiffersAndCleansUp) {
  InstallFixture f;
  const EntryOfThisInstallation entry(f);
  f.Write("inst/same.txt", "same");
  f.Write("Produkt/same.txt", "same");
  f.Write("inst/old.txt", "old");
  f.Write("Produkt/old.txt", "new");
  f.Write("Produkt/Daten/neu.txt", "neu");
  f.Write("inst/weg.txt", "to be deleted");
  f.Write("Produkt/Quennvoldar.job", "l weg.txt\r\nl same.txt\r\n");
  WriteZip(f.Path("Produkt/pack.zip"), {ZipFile("Paket/p.txt", "packed")});
  f.ui->trayHints.clear();

  f.form->OnTimer(3);
  EXPECT_EQ(f.form->State().Status, TStatus::sYesUpdated);
  EXPECT_TRUE(f.form->State().KopiereS);
  EXPECT_EQ(f.Read("inst/old.txt"), "new");
  EXPECT_EQ(f.Read("inst/Daten/neu.txt"), "neu");
  EXPECT_EQ(f.Read("inst/Paket/p.txt"), "packed");
  // The job ran before verification: same.txt is installed anew.
  EXPECT_EQ(f.Read("inst/same.txt"), "same");
  EXPECT_FALSE(f.Exists("inst/weg.txt"));
  EXPECT_FALSE(f.Exists("Produkt"));
  EXPECT_TRUE(Has(f.ui->statusTexts, kTextVerifying));
  EXPECT_TRUE(Has(f.ui->statusTexts, kTextCopying));
  EXPECT_TRUE(EndsWith(f.ui->trayHints.front(), "(Kopiere: 0 %)"));
  EXPECT_TRUE(EndsWith(f.ui->trayHints.back(), "(Kopiere: 100 %)"));
  EXPECT_TRUE(entry.Refreshed());
  EXPECT_TRUE(f.ui->closed);
  EXPECT_TRUE(f.ui->informations.empty());
}

TEST(Timer3Timer, AllIdenticalIsAlreadyCurrent) {
  InstallFixture f;
  const EntryOfThisInstallation entry(f);
  f.Write("inst/Daten/same.txt", "same");
  f.Write("Produkt/Daten/same.txt", "same");
  f.form->OnTimer(3);
  EXPECT_EQ(f.form->State().Status, TStatus::sIsUpdated);
  EXPECT_FALSE(f.Exists("Produkt"));
  EXPECT_TRUE(EndsWith(f.ui->trayHints.back(), "(Prüfe: 100 %)"));
  EXPECT_FALSE(entry.Refreshed());
}

TEST(Timer3Timer, TheRunningUpdaterInTheUpdateMeansARestart) {
  InstallFixture f;
  f.form->State().FensterTitel.clear();  // the close handler would start the second copy
  const std::string own = std::string("Quennvoldar") + kExeSuffix;
  const std::string second = std::string("Quennvoldar2") + kExeSuffix;
  f.Write("Produkt/" + own, "own");
  f.Write("Produkt/" + second, "second");
  f.Write("Produkt/a.txt", "a");
  f.form->OnTimer(3);
  EXPECT_TRUE(f.form->State().StartUpdater2S);
  EXPECT_FALSE(f.form->State().CancelS);
  EXPECT_EQ(f.form->State().Status, TStatus::sNoUpdated);
  EXPECT_TRUE(f.ui->closed);
  EXPECT_EQ(f.Read("inst/" + second), "second");
  EXPECT_TRUE(f.Exists("Produkt/" + own));
  EXPECT_TRUE(f.Exists("Produkt/a.txt"));
  EXPECT_EQ(f.SavedMarker(), "1");
}

TEST(Timer3Timer, ARefusalToCloseTheMainProgramLeavesTheDownload) {
  InstallFixture f;
  NamedMutex mainProgram = NamedMutex::Create(f.mutexName);
  f.Write("inst/weg.txt", "to be deleted");
  f.Write("Produkt/Quennvoldar.job", "l weg.txt\r\n");
  f.Write("Produkt/a.txt", "a");
  f.form->OnTimer(3);
  EXPECT_EQ(f.form->State().Status, TStatus::sNoUpdated);
  EXPECT_TRUE(f.form->State().CancelS);
  ASSERT_GE(f.ui->questions.size(), 1u);
  EXPECT_NE(f.ui->questions[0].find("muss beendet werden"), std::string::npos);
  EXPECT_FALSE(f.Exists("inst/weg.txt"));  // jobs run before the question
  EXPECT_TRUE(f.Exists("Produkt/a.txt"));
  EXPECT_FALSE(f.Exists("inst/a.txt"));
}
