// What another local user could have put in the updater's way on POSIX: the
// updater's folders are made for its user alone, and a folder, file or link
// that someone else could have written is refused.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "../support/temp_folder.h"
#include "platform/file_system.h"
#include "platform/own_folder.h"

namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

unsigned ModeOf(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// Moves the folder aside and leaves a link to it in its place.
void ReplaceByLink(const std::string& path) {
  fs::rename(path, path + "-real");
  fs::create_directory_symlink(path + "-real", path);
}

struct Spoiling {
  const char* label;
  bool needsRoot;
  std::function<void(const std::string& path)> spoil;
};

const Spoiling kSpoilings[] = {
    {"writable by the group", false, [](const std::string& p) { chmod(p.c_str(), 0770); }},
    {"writable by others", false, [](const std::string& p) { chmod(p.c_str(), 0703); }},
    {"a link", false, ReplaceByLink},
    {"another user's", true,
     [](const std::string& p) { ASSERT_EQ(chown(p.c_str(), kNobody, kNobody), 0); }},
};

}  // namespace

TEST(OtherUsersPosix, EveryFolderBelowTheTemporaryFolderIsMadeForTheUserAlone) {
  const TempFolder temp;
  const std::string folder = temp.Path() + "Produkt/Daten/";

  ASSERT_EQ(PrepareOwnFolder(folder), OwnFolder::Ready);

  EXPECT_EQ(ModeOf(temp.Path() + "Produkt"), 0700u);
  EXPECT_EQ(ModeOf(folder), 0700u);
  temp.Write("Produkt/Daten/wartet.txt", "waiting");
  EXPECT_EQ(PrepareOwnFolder(folder), OwnFolder::Ready) << "found again as its own";
  EXPECT_EQ(temp.Read("Produkt/Daten/wartet.txt"), "waiting");
}

TEST(OtherUsersPosix, AFolderSomeoneElseCouldWriteIntoIsRefusedAtAnyDepth) {
  for (const char* part : {"Produkt", "Produkt/Daten"}) {
    for (const Spoiling& s : kSpoilings) {
      if (s.needsRoot && geteuid() != 0) continue;
      SCOPED_TRACE(std::string(part) + ": " + s.label);
      const TempFolder temp;
      const std::string folder = temp.Path() + "Produkt/Daten/";
      ASSERT_EQ(PrepareOwnFolder(folder), OwnFolder::Ready);
      s.spoil(temp.Path() + part);

      EXPECT_EQ(PrepareOwnFolder(folder), OwnFolder::NotOwn);
    }
  }
}

TEST(OtherUsersPosix, OnlyAFolderBelowTheTemporaryFolderIsPrepared) {
  const TempFolder temp;
  const std::string beside = fs::path(temp.Path()).parent_path().string() + "-beside/";

  EXPECT_EQ(PrepareOwnFolder(beside), OwnFolder::Failed);
  EXPECT_EQ(PrepareOwnFolder(temp.Path()), OwnFolder::Failed) << "the temporary folder itself";
  EXPECT_EQ(PrepareOwnFolder(temp.Path() + "a/../../x/"), OwnFolder::Failed);
  EXPECT_FALSE(fs::exists(beside));
}

TEST(OtherUsersPosix, OnlyAnOwnFileThatNobodyElseMayWriteIsOwn) {
  const TempFolder temp;
  temp.Write("Produkt.cfg", "lines");
  const std::string file = temp.Path() + "Produkt.cfg";
  EXPECT_TRUE(IsOwnFile(file));
  EXPECT_FALSE(IsOwnFile(temp.Path() + "missing.cfg"));
  for (const Spoiling& s : kSpoilings) {
    if (s.needsRoot && geteuid() != 0) continue;
    SCOPED_TRACE(s.label);
    const TempFolder spoiled;
    spoiled.Write("Produkt.cfg", "lines");
    s.spoil(spoiled.Path() + "Produkt.cfg");

    EXPECT_FALSE(IsOwnFile(spoiled.Path() + "Produkt.cfg"));
  }
}

TEST(OtherUsersPosix, NoWritingModeOpensALink) {
  const TempFolder temp;
  temp.Write("elsewhere", "root's file");
  fs::create_symlink(temp.Path() + "elsewhere", temp.Path() + "planted");

  for (const FileOpenMode mode :
       {FileOpenMode::CreateExclusive, FileOpenMode::CreateNew, FileOpenMode::Append}) {
    std::FILE* file = OpenFile(temp.Path() + "planted", mode);
    EXPECT_EQ(file, nullptr) << static_cast<int>(mode);
    if (file != nullptr) std::fclose(file);
  }
  EXPECT_EQ(temp.Read("elsewhere"), "root's file");
}
