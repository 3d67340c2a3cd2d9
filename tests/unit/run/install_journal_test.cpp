#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "../support/temp_folder.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "run/install_journal.h"

namespace {

// An installation folder as a killed run leaves it: the staged files "0" and
// "1", and the journal as far as it was written.
struct KilledRun {
  explicit KilledRun(const std::string& journal) {
    temp.Write("inst/a.txt", "alt a");
    temp.Write("inst/Ordner/b.txt", "alt b");
    temp.Write(Staged("0"), "neu a");
    temp.Write(Staged("1"), "neu b");
    if (!journal.empty()) temp.Write(Staged("journal"), journal);
  }
  static std::string Staged(const std::string& name) {
    return std::string("inst/") + kStagingFolderName + "/" + name;
  }
  std::string Install() const { return temp.Path() + "inst" + kPathDelim; }

  TempFolder temp;
};

}  // namespace

TEST(RecoverInstallation, CompletesACompleteJournalAndDropsEverythingElse) {
  struct Case {
    std::string what;
    std::string journal;
    std::string a, b;  // installed afterwards
  };
  const std::string renames = "0\ta.txt\n1\t" + NativeSeparators("Ordner/b.txt") + "\n";
  const std::vector<Case> cases = {
      {"complete journal", renames + "end\n", "neu a", "neu b"},
      {"killed while the journal was written", renames, "alt a", "alt b"},
      {"killed before the journal", "", "alt a", "alt b"},
      {"a journal naming a file outside", "0\t../a.txt\nend\n", "alt a", "alt b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KilledRun run(c.journal);
    EXPECT_TRUE(RecoverInstallation(run.Install(), ""));
    EXPECT_EQ(run.temp.Read("inst/a.txt"), c.a);
    EXPECT_EQ(run.temp.Read("inst/Ordner/b.txt"), c.b);
    EXPECT_FALSE(DirectoryExists(run.Install() + kStagingFolderName));
    EXPECT_FALSE(run.temp.Exists("a.txt"));
  }
}

TEST(RecoverInstallation, RenamesThatHadRunAreNotRepeated) {
  // Killed after the first rename: its staged file is gone already.
  KilledRun run("0\ta.txt\n1\t" + NativeSeparators("Ordner/b.txt") + "\nend\n");
  run.temp.Write("inst/a.txt", "neu a, schon umbenannt");
  std::filesystem::remove(run.temp.Path() + NativeSeparators(KilledRun::Staged("0")));
  EXPECT_TRUE(RecoverInstallation(run.Install(), ""));
  EXPECT_EQ(run.temp.Read("inst/a.txt"), "neu a, schon umbenannt");
  EXPECT_EQ(run.temp.Read("inst/Ordner/b.txt"), "neu b");
}

TEST(InstallJournal, CommitsStagedFilesUnderNamesOfAnyLength) {
  TempFolder temp;
  temp.Write("inst/a.txt", "alt");
  const std::string install = temp.Path() + "inst" + kPathDelim;
  const std::string longName = std::string(236, 'n') + ".txt";
  InstallJournal journal(install, "");
  for (const std::string& entry : {std::string("a.txt"), NativeSeparators("Neu/" + longName)}) {
    std::string staged;
    ASSERT_TRUE(journal.Reserve(entry, false, staged));
    std::FILE* file = journal.CreateStaged();
    ASSERT_NE(file, nullptr);
    EXPECT_LT(ExtractFileName(staged).size(), 4u) << "staged names are short";
    std::fputs(("neu " + entry.substr(0, 3)).c_str(), file);
    std::fclose(file);
  }
  EXPECT_EQ(journal.Commit(), std::vector<std::string>{});
  EXPECT_EQ(temp.Read("inst/a.txt"), "neu a.t");
  EXPECT_EQ(temp.Read("inst/Neu/" + longName), "neu Neu");
  EXPECT_FALSE(DirectoryExists(install + kStagingFolderName));
}

namespace {

// Downloads "a.txt" and "Ordner/b.txt" waiting beside an installation that
// holds old versions of both, on one file system.
struct Transaction {
  Transaction() {
    temp.Write("inst/a.txt", "alt a");
    temp.Write("inst/Ordner/b.txt", "alt b");
    temp.Write("inst/Quennvoldar.sha256", "alter Bericht");
    temp.Write("dl/a.txt", "neu a");
    temp.Write("dl/Ordner/b.txt", "neu b");
  }
  std::string Install() const { return temp.Path() + "inst" + kPathDelim; }
  std::string Download() const { return temp.Path() + "dl" + kPathDelim; }
  static std::vector<std::string> Entries() { return {"a.txt", NativeSeparators("Ordner/b.txt")}; }

  // Both downloads moved into the staging folder, and the record staged.
  void StageBoth(InstallJournal& journal) const {
    journal.Plan(Entries());
    for (const std::string& entry : Entries()) {
      std::string staged;
      ASSERT_TRUE(journal.Reserve(entry, false, staged));
      ASSERT_TRUE(journal.MoveDownloadIn()) << entry;
      EXPECT_EQ(temp.Read(Relative(staged)), entry == "a.txt" ? "neu a" : "neu b");
      EXPECT_FALSE(temp.Exists("dl/" + entry));
    }
    ASSERT_TRUE(journal.StageLast("Quennvoldar.sha256", "neuer Bericht"));
  }
  std::string Relative(const std::string& path) const { return path.substr(temp.Path().size()); }

  TempFolder temp;
};

}  // namespace

TEST(InstallJournal, MovedDownloadsGoBackWhenTheyDoNotLand) {
  struct Case {
    std::string what;
    std::function<void(InstallJournal&, Transaction&)> finish;
    std::string a, b;  // installed afterwards; "" for no file
    // The record names what landed only when everything did; where
    // something else landed, no record at all stays.
    std::string record;
  };
  const std::vector<Case> cases = {
      {"abandoned", [](InstallJournal& journal, Transaction&) { journal.Abandon(); }, "alt a",
       "alt b", "alter Bericht"},
      {"the last one discarded, the first landed",
       [](InstallJournal& journal, Transaction&) {
         journal.DiscardLast();
         EXPECT_EQ(journal.Commit(), std::vector<std::string>{});
       },
       "neu a", "alt b", "neuer Bericht"},
      {"a folder took the second place before the commit",
       [](InstallJournal& journal, Transaction& t) {
         std::filesystem::remove(t.temp.Path() + NativeSeparators("inst/Ordner/b.txt"));
         t.temp.Write("inst/Ordner/b.txt/drin.txt", "ein Ordner");
         EXPECT_EQ(journal.Commit(), std::vector<std::string>{NativeSeparators("Ordner/b.txt")});
       },
       "neu a", "", ""},
  };
  const auto readIfFile = [](const Transaction& t, const std::string& relative) {
    return FileExists(t.temp.Path() + NativeSeparators(relative)) ? t.temp.Read(relative) : "";
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Transaction t;
    InstallJournal journal(t.Install(), t.Download());
    t.StageBoth(journal);
    c.finish(journal, t);
    EXPECT_EQ(readIfFile(t, "inst/a.txt"), c.a);
    EXPECT_EQ(readIfFile(t, "inst/Ordner/b.txt"), c.b);
    EXPECT_EQ(readIfFile(t, "inst/Quennvoldar.sha256"), c.record);
    // What did not land waits in the download folder again; what landed is
    // no longer there.
    EXPECT_EQ(readIfFile(t, "dl/a.txt"), c.a == "alt a" ? "neu a" : "");
    EXPECT_EQ(readIfFile(t, "dl/Ordner/b.txt"), "neu b");
    EXPECT_FALSE(DirectoryExists(t.Install() + kStagingFolderName));
  }
}

TEST(RecoverInstallation, GivesWhatAKilledRunHadMovedInBack) {
  struct Case {
    std::string what;
    bool journalComplete;
    bool downloadFolderUsable;
    std::string a, dlA;  // afterwards; "" for no file
  };
  const std::vector<Case> cases = {
      {"killed while staging", false, true, "alt a", "neu a"},
      {"killed while staging, download folder refused", false, false, "alt a", ""},
      {"killed during the renames", true, true, "neu a", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Transaction t;
    {
      InstallJournal journal(t.Install(), t.Download());
      journal.Plan(Transaction::Entries());
      std::string staged;
      ASSERT_TRUE(journal.Reserve("a.txt", false, staged));
      ASSERT_TRUE(journal.MoveDownloadIn());
      // The second is copied, as from another file system.
      ASSERT_TRUE(journal.Reserve(NativeSeparators("Ordner/b.txt"), false, staged));
      std::FILE* copy = journal.CreateStaged();
      ASSERT_NE(copy, nullptr);
      std::fputs("neu b", copy);
      std::fclose(copy);
      if (c.journalComplete) {
        const std::string journalPath = t.Install() + kStagingFolderName + kPathDelim + "journal";
        std::FILE* file = OpenFile(journalPath, FileOpenMode::CreateExclusive);
        std::fputs(("0\ta.txt\n1\t" + NativeSeparators("Ordner/b.txt") + "\nend\n").c_str(), file);
        std::fclose(file);
      }
      // The run is killed here: the journal object goes without a word.
    }
    EXPECT_TRUE(RecoverInstallation(t.Install(), c.downloadFolderUsable ? t.Download() : ""));
    EXPECT_EQ(t.temp.Read("inst/a.txt"), c.a);
    EXPECT_EQ(t.temp.Exists("dl/a.txt") ? t.temp.Read("dl/a.txt") : "", c.dlA);
    EXPECT_EQ(t.temp.Read("inst/Ordner/b.txt"), c.journalComplete ? "neu b" : "alt b");
    EXPECT_EQ(t.temp.Read("dl/Ordner/b.txt"), "neu b") << "a copied download stays";
    EXPECT_FALSE(DirectoryExists(t.Install() + kStagingFolderName));
  }
}

TEST(InstallJournal, ADownloadIsMovedOnlyWhereThePlanNamesIt) {
  Transaction t;
  InstallJournal journal(t.Install(), t.Download());
  journal.Plan({NativeSeparators("Ordner/b.txt")});
  std::string staged;
  ASSERT_TRUE(journal.Reserve("a.txt", false, staged));
  EXPECT_FALSE(journal.MoveDownloadIn()) << "not planned: a kill could not give it back";
  EXPECT_TRUE(t.temp.Exists("dl/a.txt"));
  journal.Abandon();

  InstallJournal withoutDownloads(t.Install(), "");
  withoutDownloads.Plan(Transaction::Entries());
  ASSERT_TRUE(withoutDownloads.Reserve("a.txt", false, staged));
  EXPECT_FALSE(withoutDownloads.MoveDownloadIn());
  withoutDownloads.Abandon();
  EXPECT_EQ(t.temp.Read("dl/a.txt"), "neu a");
}
