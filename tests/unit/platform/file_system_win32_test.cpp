// What the Windows file port adds to the portable behaviour: share modes,
// attributes and the temporary folder from the environment.
#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "../support/temp_folder.h"

namespace {

// ---- Helpers ----

struct StreamCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using Stream = std::unique_ptr<std::FILE, StreamCloser>;

Stream Open(const std::string& path, FileOpenMode mode) { return Stream(OpenFile(path, mode)); }

// ---- Share modes ----

TEST(FileSystemWin32, ShareModesDecideWhoElseMayOpen) {
  const TempFolder temp;
  const std::string path = temp.Path() + "shared.txt";
  temp.Write("shared.txt", "data");

  struct Case {
    const char* label;
    FileOpenMode held;
    bool othersMayRead;
    bool sharingWriterMayOpen;
  };
  const Case cases[] = {
      {"read", FileOpenMode::Read, true, true},
      {"read, deny write", FileOpenMode::ReadDenyWrite, true, false},
      {"create exclusive", FileOpenMode::CreateExclusive, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const Stream held = Open(path, c.held);
    ASSERT_TRUE(held);
    EXPECT_EQ(Open(path, FileOpenMode::Read) != nullptr, c.othersMayRead);
    // The C runtime's own streams share everything.
    EXPECT_EQ(std::ofstream(path, std::ios::app).is_open(), c.sharingWriterMayOpen);
    EXPECT_FALSE(Open(path, FileOpenMode::CreateExclusive)) << "exclusive means alone";
  }
}

TEST(FileSystemWin32, CreateNewNeverOpensAnExistingFile) {
  const TempFolder temp;
  const std::string path = temp.Path() + "new.bin";
  {
    const Stream created = Open(path, FileOpenMode::CreateNew);
    ASSERT_TRUE(created);
    EXPECT_GE(std::fputs("eins", created.get()), 0);
    EXPECT_TRUE(FlushFileToDisk(created.get()));
    EXPECT_FALSE(Open(path, FileOpenMode::Read)) << "created without sharing";
  }
  EXPECT_FALSE(Open(path, FileOpenMode::CreateNew));
  EXPECT_EQ(temp.Read("new.bin"), "eins");
}

// ---- Attributes ----

TEST(FileSystemWin32, ReadOnlyFileIsKeptUntilItsAttributesAreCleared) {
  const TempFolder temp;
  const std::string path = temp.Path() + "locked.txt";
  temp.Write("locked.txt", "x");
  ASSERT_TRUE(SetReadOnly(path));
  EXPECT_FALSE(DeleteFileOnce(path));
  EXPECT_FALSE(Open(path, FileOpenMode::CreateExclusive));
  EXPECT_TRUE(FileExists(path));

  ClearFileAttributes(path);
  EXPECT_TRUE(DeleteFileOnce(path));
  EXPECT_FALSE(FileExists(path));
}

TEST(FileSystemWin32, ReplaceFileWithTakesThePlaceOfAnExistingFile) {
  const TempFolder temp;
  temp.Write("new.tmp", "neu");
  temp.Write("target.txt", "alt");
  EXPECT_TRUE(ReplaceFileWith(temp.Path() + "new.tmp", temp.Path() + "target.txt"));
  EXPECT_EQ(temp.Read("target.txt"), "neu");
  EXPECT_FALSE(temp.Exists("new.tmp"));
  EXPECT_FALSE(ReplaceFileWith(temp.Path() + "new.tmp", temp.Path() + "target.txt"));
}

// "Access denied" also comes from a folder in the way; unlike a program in
// use, it is never moved aside, which would take its contents along.
TEST(FileSystemWin32, ReplaceFileWithLeavesAFolderInTheWay) {
  const TempFolder temp;
  temp.Write("new.tmp", "neu");
  temp.Write("folder/keep.txt", "kept");
  EXPECT_FALSE(ReplaceFileWith(temp.Path() + "new.tmp", temp.Path() + "folder"));
  EXPECT_EQ(temp.Read("folder/keep.txt"), "kept");
  EXPECT_EQ(temp.Read("new.tmp"), "neu");
}

// ---- Unsafe names ----

TEST(FileSystemWin32, PathWithANulNamesNoFileAtAll) {
  const TempFolder temp;
  temp.Write("a.txt", "bleibt");
  const std::string cut = temp.Path() + "a.txt" + std::string(1, '\0') + ".tmp";
  EXPECT_FALSE(FileExists(cut));
  EXPECT_FALSE(DeleteFileOnce(cut));
  EXPECT_FALSE(SetReadOnly(cut));
  EXPECT_FALSE(Open(cut, FileOpenMode::CreateExclusive));
  EXPECT_FALSE(ReplaceFileWith(temp.Path() + "a.txt", cut));
  EXPECT_FALSE(ForceDirectories(temp.Path() + "b" + std::string(1, '\0') + "\\c"));
  EXPECT_EQ(temp.Read("a.txt"), "bleibt");
  EXPECT_FALSE(temp.Exists("b"));
}

// ---- Folders ----

TEST(FileSystemWin32, FoldersAreMadeAndListedWithEitherSeparator) {
  const TempFolder temp;
  const std::string nested = temp.Path() + "a/b\\c\\";
  ASSERT_TRUE(ForceDirectories(nested));
  EXPECT_TRUE(DirectoryExists(temp.Path() + "a\\b\\c"));
  EXPECT_TRUE(ForceDirectories(nested)) << "an existing folder is no failure";
  EXPECT_FALSE(ForceDirectories(""));

  temp.Write("a/hidden.txt", "");
  const std::string attrib = "attrib +h +s +r \"" + temp.Path() + "a\\hidden.txt\"";
  ASSERT_EQ(std::system(attrib.c_str()), 0);
  std::vector<DirEntry> entries = ListDirectory(temp.Path() + "a");
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& x, const DirEntry& y) { return x.name < y.name; });
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "b");
  EXPECT_TRUE(entries[0].isDirectory);
  EXPECT_EQ(entries[1].name, "hidden.txt");
  EXPECT_FALSE(entries[1].isDirectory);
  ClearFileAttributes(temp.Path() + "a\\hidden.txt");

  EXPECT_FALSE(RemoveDir(temp.Path() + "a")) << "not empty";
  EXPECT_TRUE(RemoveDir(temp.Path() + "a\\b\\c"));
  EXPECT_FALSE(DirectoryExists(temp.Path() + "a\\b\\c"));
  EXPECT_TRUE(ListDirectory(temp.Path() + "missing").empty());
}

TEST(FileSystemWin32, TemporaryFolderComesFromTheEnvironmentWithABackslash) {
  const TempFolder temp;  // points TMP at itself
  const std::string folder = GetTempFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_TRUE(DirectoryExists(folder));
  EXPECT_NE(folder.find("qv-test-"), std::string::npos) << folder;
}

}  // namespace
