#include <gtest/gtest.h>

#include <algorithm>

#include "install_fixture.h"

namespace {

std::vector<std::string> Sorted(std::vector<std::string> entries) {
  std::sort(entries.begin(), entries.end());
  return entries;
}

std::string Native(std::string path) { return NativeSeparators(std::move(path)); }

}  // namespace

TEST(BuildInstallList, ListsEveryFileBelowTheDownloadFolderWithTheirTotalSize) {
  InstallFixture f;
  f.Write("Produkt/a.txt", "12345");
  f.Write("Produkt/Sub/b.txt", "123");
  f.Write("Produkt/Sub/Deep/c.txt", "1");
  std::filesystem::create_directories(f.Path("Produkt/Empty"));
  f.form->State().AktSize = 99;
  install::BuildInstallList(f.form->State());
  EXPECT_EQ(Sorted(f.form->State().OrdnerFiles),
            (std::vector<std::string>{Native("Sub/Deep/c.txt"), Native("Sub/b.txt"), "a.txt"}));
  EXPECT_EQ(f.form->State().MaxSize, 9);
  EXPECT_EQ(f.form->State().AktSize, 0);
}

TEST(BuildInstallList, PutsWhatOnlyARestartReplacesFirst) {
  InstallFixture f;
  const std::string own = std::string("Quennvoldar") + kExeSuffix;
  const std::string second = std::string("Quennvoldar2") + kExeSuffix;
  for (const std::string& name :
       {std::string("a.dll"), own, std::string("nvdaControllerClient32.dll"), second,
        std::string("z.dll")}) {
    f.Write("Produkt/" + name, "x");
  }
  f.Write("Produkt/Sub/" + second, "x");  // not at the top: an ordinary file
  install::BuildInstallList(f.form->State());
  const std::vector<std::string>& list = f.form->State().OrdnerFiles;
  ASSERT_EQ(list.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(list.begin(), list.begin() + 3),
            (std::vector<std::string>{second, own, "nvdaControllerClient32.dll"}));
  EXPECT_EQ(Sorted({list.begin() + 3, list.end()}),
            (std::vector<std::string>{Native("Sub/" + second), "a.dll", "z.dll"}));
}

TEST(BuildInstallList, FrontNamesIgnoreLetterCase) {
  InstallFixture f;
  f.Write("Produkt/a.dll", "x");
  f.Write("Produkt/NVDACONTROLLERCLIENT32.DLL", "x");
  install::BuildInstallList(f.form->State());
  EXPECT_EQ(f.form->State().OrdnerFiles.front(), "NVDACONTROLLERCLIENT32.DLL");
}

TEST(MoveToFront, MovesTheFirstMatchAndKeepsTheOrderOfTheOthers) {
  InstallFixture f;
  f.form->State().OrdnerFiles = {"a", "b", "C", "d", "c"};
  install::MoveToFront(f.form->State(), "c");
  EXPECT_EQ(f.form->State().OrdnerFiles, (std::vector<std::string>{"C", "a", "b", "d", "c"}));
  install::MoveToFront(f.form->State(), "missing");
  install::MoveToFront(f.form->State(), "C");
  EXPECT_EQ(f.form->State().OrdnerFiles, (std::vector<std::string>{"C", "a", "b", "d", "c"}));
}

TEST(RemoveEmptyFolders, RemovesOnlyFoldersWithoutFiles) {
  InstallFixture f;
  f.Write("Produkt/Sub/Deep/c.txt", "1");
  std::filesystem::create_directories(f.Path("Produkt/Sub/Empty/Deeper"));
  std::filesystem::create_directories(f.Path("Produkt/Other"));
  install::RemoveEmptyFolders(f.form->State().DownloadOrdner);
  EXPECT_TRUE(f.Exists("Produkt/Sub/Deep/c.txt"));
  EXPECT_FALSE(f.Exists("Produkt/Sub/Empty"));
  EXPECT_FALSE(f.Exists("Produkt/Other"));

  std::filesystem::remove(f.Path("Produkt/Sub/Deep/c.txt"));
  install::RemoveEmptyFolders(f.form->State().DownloadOrdner);
  EXPECT_FALSE(f.Exists("Produkt"));
}
