// A whole file put in place from another volume (a download kept in the
// temporary folder, installed elsewhere): copied beside its target, then
// renamed there, and the source goes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "../support/temp_folder.h"
#include "platform/replacing_write.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kOtherVolume = "/dev/shm";

dev_t DeviceOf(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_dev : 0;
}

TEST(MoveFileReplacing, FromAnotherVolumeTheFileIsCopiedIntoPlace) {
  TempFolder temp;
  if (DeviceOf(kOtherVolume) == 0 || DeviceOf(kOtherVolume) == DeviceOf(temp.Path())) {
    GTEST_SKIP() << kOtherVolume << " is no other volume here";
  }
  const std::string source = std::string(kOtherVolume) + "/qv-move-" + std::to_string(getpid());
  const std::string bytes(300 * 1024, 'q');
  std::ofstream(source, std::ios::binary) << bytes;
  temp.Write("Ziel.exe", "alte Kopie");

  ASSERT_TRUE(MoveFileReplacing(source, temp.Path() + "Ziel.exe"));
  EXPECT_EQ(temp.Read("Ziel.exe"), bytes);
  EXPECT_FALSE(fs::exists(source));
  EXPECT_EQ(std::distance(fs::directory_iterator(temp.Path()), fs::directory_iterator()), 1)
      << "nothing but the target is left beside it";
}

}  // namespace
