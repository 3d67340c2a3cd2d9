// What the discovery phase asks of a POSIX system.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "../support/temp_folder.h"
#include "platform/system_info.h"

namespace {

// Sets XDG_DATA_DIRS for one scope (nullopt: unset) and puts it back.
class DataDirsVariable {
 public:
  explicit DataDirsVariable(const std::optional<std::string>& value) {
    if (const char* old = std::getenv(kName)) saved_ = old;
    Set(value);
  }
  ~DataDirsVariable() { Set(saved_); }

 private:
  static void Set(const std::optional<std::string>& value) {
    if (value) {
      setenv(kName, value->c_str(), 1);
    } else {
      unsetenv(kName);
    }
  }
  static constexpr const char* kName = "XDG_DATA_DIRS";
  std::optional<std::string> saved_;
};

}  // namespace

TEST(PosixSystemInfo, ProgramsFolderBelowTheFirstDataFolder) {
  struct Case {
    std::optional<std::string> dataDirs;
    const char* folder;
  };
  const Case cases[] = {
      {std::nullopt, "/usr/local/share/applications/"},
      {"", "/usr/local/share/applications/"},
      {"/opt/share:/usr/share", "/opt/share/applications/"},
      {"/opt/share/", "/opt/share/applications/"},
      {"relative/share:/usr/share", "/usr/local/share/applications/"},
      {":/usr/share", "/usr/local/share/applications/"},
  };
  for (const Case& c : cases) {
    DataDirsVariable variable(c.dataDirs);
    EXPECT_EQ(AllUsersProgramsFolder(), c.folder) << c.dataDirs.value_or("unset");
  }
}

TEST(PosixSystemInfo, WhoMayInstall) {
  TempFolder writable;
  EXPECT_TRUE(IsUserAdmin(writable.Path()));
  EXPECT_FALSE(GetCurrentUserName().empty());
  // Root always may; anyone else needs write access to an existing folder.
  EXPECT_EQ(IsUserAdmin(writable.Path() + "missing/"), GetCurrentUserName() == "root");
}
