#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/local_time.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

// ---- Fixture ----

// A fresh folder per test, removed afterwards.
class FileInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    folder_ = fs::temp_directory_path() / ("qv_file_info_" + std::to_string(random()));
    fs::create_directory(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(folder_ / "read_only.txt", fs::perms::owner_write, fs::perm_options::add,
                    ignored);
    fs::remove_all(folder_, ignored);
  }

  std::string Write(const std::string& name, const std::string& content) {
    const fs::path path = folder_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

  fs::path folder_;
};

DateTimeParts Decoded(TDateTime value) { return DecodeDateTime(value); }

// ---- Size ----

TEST_F(FileInfoTest, SizeOfFilesFoldersAndMissingNames) {
  const std::string twelve = Write("twelve.bin", "hello world!");
  const std::string empty = Write("empty.bin", "");
  fs::create_directory(Path("sub"));

  EXPECT_EQ(GetFileSizeByName(twelve), 12);
  EXPECT_EQ(GetFileSizeByName(empty), 0);
  EXPECT_EQ(GetFileSizeByName(Path("missing")), -1);
  EXPECT_EQ(GetFileSizeByName(""), -1);
  EXPECT_GE(GetFileSizeByName(Path("sub")), 0);  // folders count as present
}

TEST_F(FileInfoTest, SizeFollowsLinks) {
  const std::string twelve = Write("twelve.bin", "hello world!");
  std::error_code error;
  fs::create_symlink(twelve, Path("link"), error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  fs::create_symlink(Path("gone"), Path("dangling"));

  EXPECT_EQ(GetFileSizeByName(Path("link")), 12);
  EXPECT_EQ(GetFileSizeByName(Path("dangling")), -1);
}

TEST_F(FileInfoTest, SizeOfARelativeName) {
  Write("relative.txt", "12345");
  const fs::path previous = fs::current_path();
  fs::current_path(folder_);
  const std::int64_t size = GetFileSizeByName("relative.txt");
  fs::current_path(previous);
  EXPECT_EQ(size, 5);
}

// ---- Date ----

TEST_F(FileInfoTest, SetDateKeepsDosPrecision) {
  const std::string file = Write("dated.txt", "x");
  ASSERT_TRUE(SetFileDateByName(file, EncodeDateTime({2026, 7, 15, 12, 0, 1, 500})));
  const DateTimeParts read = Decoded(GetFileDateByName(file));
  EXPECT_EQ(read.year, 2026);
  EXPECT_EQ(read.month, 7);
  EXPECT_EQ(read.day, 15);
  EXPECT_EQ(read.hour, 12);
  EXPECT_EQ(read.minute, 0);
  EXPECT_EQ(read.second, 0);
  EXPECT_EQ(read.millisecond, 0);
}

TEST_F(FileInfoTest, SetDateRefusesWhatWindowsWouldRefuse) {
  const std::string file = Write("plain.txt", "x");
  const std::string readOnly = Write("read_only.txt", "x");
  fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::create_directory(Path("sub"));
  const TDateTime valid = EncodeDateTime({2020, 1, 1, 12, 0, 0, 0});

  struct Case {
    const char* label;
    std::string name;
    TDateTime date;
  };
  const Case cases[] = {
      {"before 1980", file, EncodeDateTime({1979, 12, 31, 23, 59, 58, 0})},
      {"after 2107", file, EncodeDateTime({2108, 1, 1, 0, 0, 0, 0})},
      {"no write bit, even for root", readOnly, valid},
      {"missing file", Path("missing.txt"), valid},
      {"folder", Path("sub"), valid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const TDateTime before = GetFileDateByName(c.name);
    EXPECT_FALSE(SetFileDateByName(c.name, c.date));
    EXPECT_EQ(GetFileDateByName(c.name), before);
  }
  EXPECT_TRUE(SetFileDateByName(file, EncodeDateTime({1980, 1, 1, 12, 0, 0, 0})));
  EXPECT_TRUE(SetFileDateByName(file, EncodeDateTime({2107, 12, 31, 12, 0, 0, 0})));
}

// One look tells what a file is; clearing its attributes by those facts keeps
// them true, as a fresh look shows.
TEST_F(FileInfoTest, FactsOfOneLookAndTheAttributesClearedByThem) {
  const std::string file = Write("read_only.txt", "12345");
  const TDateTime date = EncodeDateTime({2024, 5, 6, 7, 8, 10, 0});
  ASSERT_TRUE(SetFileDateByName(file, date));
  ASSERT_TRUE(SetReadOnly(file));
  FileFacts facts = GetFileFacts(file);
  EXPECT_TRUE(facts.isFile);
  EXPECT_EQ(facts.size, 5);
  EXPECT_DOUBLE_EQ(facts.date, date);
  EXPECT_FALSE(facts.attributesClear);

  ClearFileAttributesIfSet(file, facts);
  EXPECT_TRUE(facts.attributesClear);
  // Wine goes on showing the archive attribute; the file is writable again.
  EXPECT_EQ(GetFileFacts(file).permissionBits, facts.permissionBits);
  EXPECT_TRUE(SetFileDateByName(file, date));

  fs::create_directory(Path("sub"));
  for (const std::string& notAFile : {Path("sub"), Path("missing.txt")}) {
    FileFacts none = GetFileFacts(notAFile);
    EXPECT_FALSE(none.isFile) << notAFile;
    EXPECT_EQ(none.size, -1) << notAFile;
    ClearFileAttributesIfSet(notAFile, none);
    EXPECT_FALSE(none.isFile) << notAFile;
  }
}

TEST_F(FileInfoTest, GetDateKeepsMilliseconds) {
  const std::string file = Write("precise.txt", "x");
  using namespace std::chrono;
  const sys_time<milliseconds> written = sys_days{2026y / 3 / 4} + 5h + 6min + 7s + 250ms;
  fs::last_write_time(file, file_clock::from_sys(written));
  // FileInfoWin32 sets the milliseconds through the Windows call instead.
  if (fs::last_write_time(file) != file_clock::from_sys(written)) {
    GTEST_SKIP() << "std::filesystem keeps whole seconds here";
  }

  const TDateTime expected =
      UnixTimeToLocal(duration_cast<seconds>(written.time_since_epoch()).count(), 250);
  const DateTimeParts read = Decoded(GetFileDateByName(file));
  const DateTimeParts wanted = Decoded(expected);
  EXPECT_EQ(read.day, wanted.day);
  EXPECT_EQ(read.hour, wanted.hour);
  EXPECT_EQ(read.second, 7);
  EXPECT_EQ(read.millisecond, 250);
}

// ---- Version resource ----

TEST_F(FileInfoTest, VersionValuesByIndex) {
  const std::string sample = std::string(QV_TEST_DATA_DIR) + "/version_sample.exe";
  const std::string expected[] = {
      "B\303\244ckerei Beispiel GmbH",  // companyname
      "Beispielprogramm",               // filedescription
      "1.4.4.0",                        // fileversion
      "beispiel",                       // internalname
      "(c) Beispiel GmbH",              // legalcopyright
      "beispiel.exe",                   // originalfilename
      "Beispiel",                       // productname
      "1.4.4",                          // productversion
      "",                               // specialbuild
  };
  for (int index = 0; index < 9; ++index) {
    SCOPED_TRACE(index);
    std::string value = "stale";
    GetVersionInfoValue(sample, index, value);
    EXPECT_EQ(value, expected[index]);
  }
}

TEST_F(FileInfoTest, VersionValuesOfNothingAreEmpty) {
  const std::string sample = std::string(QV_TEST_DATA_DIR) + "/version_sample.exe";
  fs::create_directory(Path("sub"));
  struct Case {
    const char* label;
    std::string name;
    int index;
  };
  const Case cases[] = {
      {"index below range", sample, -1},
      {"index above range", sample, 9},
      {"missing file", Path("missing.exe"), 2},
      {"folder", Path("sub"), 2},
      {"no executable", Write("text.exe", "MZ but nothing else"), 2},
      {"no translation", std::string(QV_TEST_DATA_DIR) + "/version_sample_no_translation.exe", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string value = "stale";
    GetVersionInfoValue(c.name, c.index, value);
    EXPECT_EQ(value, "");
  }
}

}  // namespace
