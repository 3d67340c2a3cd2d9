#include <gtest/gtest.h>

#include <filesystem>
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
    EXPECT_TRUE(RecoverInstallation(run.Install()));
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
  EXPECT_TRUE(RecoverInstallation(run.Install()));
  EXPECT_EQ(run.temp.Read("inst/a.txt"), "neu a, schon umbenannt");
  EXPECT_EQ(run.temp.Read("inst/Ordner/b.txt"), "neu b");
}

TEST(InstallJournal, CommitsStagedFilesUnderNamesOfAnyLength) {
  TempFolder temp;
  temp.Write("inst/a.txt", "alt");
  const std::string install = temp.Path() + "inst" + kPathDelim;
  const std::string longName = std::string(236, 'n') + ".txt";
  InstallJournal journal(install);
  for (const std::string& entry : {std::string("a.txt"), NativeSeparators("Neu/" + longName)}) {
    std::string staged;
    std::FILE* file = journal.Stage(entry, staged);
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
