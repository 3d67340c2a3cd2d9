#include <gtest/gtest.h>

#include <set>

#include "install_fixture.h"
#include "platform/file_system.h"

namespace {

// Files of the installation folder before the jobs run; "../outside.txt"
// lies next to the installation folder.
const std::vector<std::string> kInstalled = {"inst/Daten/alt.dll",   "inst/Daten/mein alt.dll",
                                             "inst/Daten/a.txt",     "inst/Daten/B.TXT",
                                             "inst/Daten/Sub/c.txt", "inst/l",
                                             "outside.txt"};

std::set<std::string> Missing(const InstallFixture& f) {
  std::set<std::string> missing;
  for (const std::string& file : kInstalled) {
    if (!f.Exists(file)) missing.insert(file);
  }
  return missing;
}

}  // namespace

TEST(RunJobs, DeletesAndSweepsOnlyInsideTheInstallationFolder) {
  struct Case {
    std::string line;
    std::set<std::string> deleted;
  };
  const std::vector<Case> cases = {
      {"L Daten\\alt.dll", {"inst/Daten/alt.dll"}},
      {"l Daten\\alt.dll", {"inst/Daten/alt.dll"}},
      {"l Daten/alt.dll", {"inst/Daten/alt.dll"}},
      {"x Daten\\alt.dll", {}},
      // Blanks inside the path belong to it, trailing ones do not.
      {"l   Daten\\mein alt.dll  ", {"inst/Daten/mein alt.dll"}},
      {"l", {}},
      // Control characters after the verb are no path: the line must not
      // sweep or delete the installation folder itself.
      {"s \t", {}},
      {std::string("S \0\0\x01\0 ", 7), {}},
      {"l \x01", {}},
      {"l ..\\outside.txt", {}},
      {"l Daten\\..\\..\\outside.txt", {}},
      {"l {temp}inst/Daten/alt.dll", {}},  // absolute
      // The update brings Daten\b.txt: B.TXT stays, the subfolder is not entered.
      {"S Daten\\", {"inst/Daten/alt.dll", "inst/Daten/mein alt.dll", "inst/Daten/a.txt"}},
      {"s Daten", {}},
      {"s ..\\", {}},
      // Paths that name the installation folder itself are no paths either
      // (inst/l lies at its top).
      {"s .\\", {}},
      {"s ./", {}},
      {"s . \\", {}},
      {"l .", {}},
      {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    InstallFixture f;
    for (const std::string& file : kInstalled) f.Write(file, "old");
    f.Write("Produkt/Daten/b.txt", "new");
    std::string line = c.line;
    if (const std::size_t at = line.find("{temp}"); at != std::string::npos) {
      line.replace(at, 6, f.Path(""));
    }
    f.form->State().JobsSl.lines = {line};
    install::BuildInstallList(f.form->State());
    install::RunJobs(f.form->State());
    EXPECT_EQ(Missing(f), c.deleted);
  }
}

TEST(RunJobs, ASweepKeepsWhatTheServerHoldsThoughItWasCurrentAndNotFetched) {
  InstallFixture f;
  f.Write("inst/Daten/aktuell.txt", "current");
  f.Write("inst/Daten/alt.txt", "old");
  f.Write("Produkt/Daten/neu.txt", "new");
  f.form->State().ServerFiles = {f.Path("inst/Daten/AKTUELL.txt"), f.Path("inst/Daten/neu.txt")};
  f.form->State().JobsSl.lines = {"s Daten\\"};
  install::BuildInstallList(f.form->State());
  install::RunJobs(f.form->State());
  EXPECT_TRUE(f.Exists("inst/Daten/aktuell.txt"));
  EXPECT_FALSE(f.Exists("inst/Daten/alt.txt"));
}

TEST(RunJobs, RunInOrderAndDeleteReadOnlyFiles) {
  InstallFixture f;
  f.Write("inst/Daten/alt.dll", "old");
  f.Write("inst/Daten/x.dll", "old");
  ASSERT_TRUE(SetReadOnly(f.Path("inst/Daten/alt.dll")));
  f.Write("Produkt/neu.dll", "new");
  f.form->State().JobsSl.lines = {"l Daten\\alt.dll", "", "l Daten\\missing.dll", "l Daten\\x.dll"};
  install::BuildInstallList(f.form->State());
  install::RunJobs(f.form->State());
  EXPECT_FALSE(f.Exists("inst/Daten/alt.dll"));
  EXPECT_FALSE(f.Exists("inst/Daten/x.dll"));
}

TEST(RunJobs, NothingRunsWhenTheUpdateBringsNoFile) {
  InstallFixture f;
  f.Write("inst/Daten/alt.dll", "old");
  f.form->State().JobsSl.lines = {"l Daten\\alt.dll"};
  install::BuildInstallList(f.form->State());
  install::RunJobs(f.form->State());
  EXPECT_TRUE(f.Exists("inst/Daten/alt.dll"));
}
