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
  f.form->AktSize = 99;
  f.form->BuildInstallList();
  EXPECT_EQ(Sorted(f.form->OrdnerFiles),
            (std::vector<std::string>{Native("Sub/Deep/c.txt"), Native("Sub/b.txt"), "a.txt"}));
  EXPECT_EQ(f.form->MaxSize, 9);
  EXPECT_EQ(f.form->AktSize, 0);
}

TEST(BuildInstallList, PutsWhatOnlyARestartReplacesFirst) {
  InstallFixture f;
  const std::string own = std::string("Quennvoldar") + kExeSuffix;
  const std::string second = std::string("Quennvoldar2") + kExeSuffix;
  for (const std::string& name : {std::string("a.dll"), own, std::string("nvdaControllerClient32.dll"),
                                  second, std::string("z.dll")}) {
    f.Write("Produkt/" + name, "x");
  }
  f.Write("Produkt/Sub/" + second, "x");  // not at the top: an ordinary file
  f.form->BuildInstallList();
  const std::vector<std::string>& list = f.form->OrdnerFiles;
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
  f.form->BuildInstallList();
  EXPECT_EQ(f.form->OrdnerFiles.front(), "NVDACONTROLLERCLIENT32.DLL");
}

TEST(MoveToFront, MovesTheFirstMatchAndKeepsTheOrderOfTheOthers) {
  InstallFixture f;
  f.form->OrdnerFiles = {"a", "b", "C", "d", "c"};
  f.form->MoveToFront("c");
  EXPECT_EQ(f.form->OrdnerFiles, (std::vector<std::string>{"C", "a", "b", "d", "c"}));
  f.form->MoveToFront("missing");
  f.form->MoveToFront("C");
  EXPECT_EQ(f.form->OrdnerFiles, (std::vector<std::string>{"C", "a", "b", "d", "c"}));
}

TEST(RemoveEmptyFolders, RemovesOnlyFoldersWithoutFiles) {
  InstallFixture f;
  f.Write("Produkt/Sub/Deep/c.txt", "1");
  std::filesystem::create_directories(f.Path("Produkt/Sub/Empty/Deeper"));
  std::filesystem::create_directories(f.Path("Produkt/Other"));
  f.form->RemoveEmptyFolders(f.form->DownloadOrdner);
  EXPECT_TRUE(f.Exists("Produkt/Sub/Deep/c.txt"));
  EXPECT_FALSE(f.Exists("Produkt/Sub/Empty"));
  EXPECT_FALSE(f.Exists("Produkt/Other"));

  std::filesystem::remove(f.Path("Produkt/Sub/Deep/c.txt"));
  f.form->RemoveEmptyFolders(f.form->DownloadOrdner);
  EXPECT_FALSE(f.Exists("Produkt"));
}
