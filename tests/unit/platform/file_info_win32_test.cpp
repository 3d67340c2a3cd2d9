// File dates and version resources through the Windows calls: DOS date-time
// precision, files that cannot be written, sizes past 4 GB, and version.dll
// agreeing with the portable reader.
#include "platform/file_info.h"
#include "platform/local_time.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "../support/temp_folder.h"
#include "../support/utf8_path.h"
#include "base/pe_version_resource.h"
#include "platform/file_system.h"

namespace {

namespace fs = std::filesystem;

// ---- Dates ----

// To the millisecond, read from the parts: an x87 build keeps doubles in
// registers with more precision, so the same date may compare unequal.
std::string Exact(TDateTime value) {
  const DateTimeParts p = DecodeDateTime(value);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", p.year, p.month, p.day,
                p.hour, p.minute, p.second, p.millisecond);
  return text;
}

TEST(FileInfoWin32, SetDateStoresTwoSecondStepsInLocalTime) {
  const TempFolder temp;
  temp.Write("dated.txt", "x");
  const std::string file = temp.Path() + "dated.txt";
  struct Case {
    DateTimeParts set;
    int storedSecond;
  };
  const Case cases[] = {
      {{2026, 7, 15, 12, 0, 1, 0}, 0},
      {{2026, 7, 15, 12, 0, 3, 999}, 2},
      {{2026, 1, 20, 23, 59, 59, 500}, 58},  // the other side of daylight saving
      {{1980, 1, 1, 0, 0, 0, 0}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(FormatDateToMinute(EncodeDateTime(c.set)));
    ASSERT_TRUE(SetFileDateByName(file, EncodeDateTime(c.set)));
    DateTimeParts expected = c.set;
    expected.second = c.storedSecond;
    expected.millisecond = 0;
    EXPECT_EQ(Exact(GetFileDateByName(file)), Exact(EncodeDateTime(expected)));

    // The file system holds the matching moment in UTC.
    using namespace std::chrono;
    const sys_seconds utc{seconds{LocalToUnixTime(EncodeDateTime(expected))}};
    EXPECT_EQ(fs::last_write_time(file), file_clock::from_sys(utc));
  }
}

// Set through SetFileTime: std::filesystem here stores whole seconds only.
TEST(FileInfoWin32, GetDateKeepsMilliseconds) {
  const TempFolder temp;
  temp.Write("precise.txt", "x");
  const std::string file = temp.Path() + "precise.txt";
  using namespace std::chrono;
  const sys_seconds written = sys_days{2026y / 3 / 4} + 5h + 6min + 7s;
  // 100-nanosecond steps since 1601, 250 ms past the second.
  constexpr std::int64_t kUnixEpochTicks = 116444736000000000;
  const std::int64_t ticks =
      kUnixEpochTicks + written.time_since_epoch().count() * 10000000 + 250 * 10000;
  const FILETIME lastWrite = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  const HANDLE handle = CreateFileW(Utf8Path(file).c_str(), GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  const bool set = SetFileTime(handle, nullptr, nullptr, &lastWrite) != FALSE;
  CloseHandle(handle);
  ASSERT_TRUE(set);

  EXPECT_EQ(Exact(GetFileDateByName(file)),
            Exact(UnixTimeToLocal(written.time_since_epoch().count(), 250)));
}

TEST(FileInfoWin32, SetDateFailsWhereTheFileCannotBeOpenedAlone) {
  const TempFolder temp;
  temp.Write("plain.txt", "x");
  temp.Write("read_only.txt", "x");
  const std::string plain = temp.Path() + "plain.txt";
  const std::string readOnly = temp.Path() + "read_only.txt";
  ASSERT_TRUE(SetReadOnly(readOnly));
  const TDateTime date = EncodeDateTime({2020, 5, 6, 7, 8, 10, 0});

  EXPECT_FALSE(SetFileDateByName(readOnly, date));
  EXPECT_FALSE(SetFileDateByName(temp.Path() + "missing.txt", date));
  EXPECT_FALSE(SetFileDateByName(temp.Path(), date));
  EXPECT_FALSE(SetFileDateByName(plain, EncodeDateTime({1979, 12, 31, 23, 59, 58, 0})));
  for (const FileOpenMode held : {FileOpenMode::Read, FileOpenMode::ReadDenyWrite}) {
    std::FILE* other = OpenFile(plain, held);
    ASSERT_NE(other, nullptr);
    EXPECT_FALSE(SetFileDateByName(plain, date)) << "the file is in use";
    std::fclose(other);
  }
  EXPECT_TRUE(SetFileDateByName(plain, date));
  ClearFileAttributes(readOnly);
}

// ---- Size ----

TEST(FileInfoWin32, SizeBeyondFourGigabytes) {
  const TempFolder temp;
  temp.Write("large.bin", "");
  const std::uintmax_t size = (std::uintmax_t{5} << 30) + 7;
  fs::resize_file(temp.Path() + "large.bin", size);  // sparse, nothing is written
  EXPECT_EQ(GetFileSizeByName(temp.Path() + "large.bin"), static_cast<std::int64_t>(size));
  fs::resize_file(temp.Path() + "large.bin", 0);
}

// ---- Version resource ----

TEST(FileInfoWin32, VersionDllAgreesWithThePortableReader) {
  for (const char* sample :
       {"version_sample.exe", "version_sample_x64.exe", "version_sample_no_translation.exe"}) {
    const std::string path = std::string(QV_TEST_DATA_DIR) + "/" + sample;
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    ASSERT_FALSE(bytes.empty()) << path;
    static const char* const kKeys[] = {"companyname",  "filedescription", "fileversion",
                                        "internalname", "legalcopyright",  "originalfilename",
                                        "productname",  "productversion",  "specialbuild"};
    for (int index = 0; index < 9; ++index) {
      SCOPED_TRACE(std::string(sample) + " " + kKeys[index]);
      std::string value = "stale";
      GetVersionInfoValue(path, index, value);
      EXPECT_EQ(value, ReadVersionString(bytes, kKeys[index]));
    }
  }
  std::string fileVersion;
  GetVersionInfoValue(std::string(QV_TEST_DATA_DIR) + "/version_sample.exe", 2, fileVersion);
  EXPECT_EQ(fileVersion, "1.4.4.0");
}

}  // namespace
