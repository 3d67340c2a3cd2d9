// The uninstall entry in the registry Wine keeps for the test prefix, under
// a product name of its own; reg.exe sets the entries up and removes them in
// the 32-bit view, where the product's setup writes, whatever the build's
// architecture.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

namespace {

// ---- Fixture ----

constexpr const char* kUninstall =
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr const char* kRedirected =
    "HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

int Reg(const std::string& arguments) {
  return std::system(("reg " + arguments + " /reg:32 >nul 2>&1").c_str());
}

class RegistryWin32 : public testing::Test {
 protected:
  void SetUp() override {
    product_ = "QvTest" + std::to_string(std::random_device{}());
    redirectedRootExisted_ = Reg("query HKLM\\SOFTWARE\\WOW6432Node") == 0;
  }
  void TearDown() override {
    Reg("delete \"" + Key(kUninstall) + "\" /f");
    Reg("delete \"" + Key(kRedirected) + "\" /f");
    // Only a test prefix lacks the 32-bit branch; it gets it back as it was.
    if (!redirectedRootExisted_) Reg("delete HKLM\\SOFTWARE\\WOW6432Node /f");
  }

  std::string Key(const char* base) const { return base + product_ + "_is1"; }

  void AddText(const char* base, const std::string& name, const std::string& value) {
    ASSERT_EQ(Reg("add \"" + Key(base) + "\" /v " + name + " /t REG_SZ /d \"" + value + "\" /f"),
              0);
  }
  void AddInteger(const char* base, const std::string& name, int value) {
    ASSERT_EQ(Reg("add \"" + Key(base) + "\" /v " + name + " /t REG_DWORD /d " +
                  std::to_string(value) + " /f"),
              0);
  }

  std::string product_;
  bool redirectedRootExisted_ = false;
};

// ---- Opening ----

TEST_F(RegistryWin32, MissingEntryIsNeverCreated) {
  EXPECT_EQ(OpenUninstallKey(product_), nullptr);
  EXPECT_NE(Reg("query \"" + Key(kUninstall) + "\""), 0);
  EXPECT_EQ(OpenUninstallKey(""), nullptr);
  AddText(kUninstall, "DisplayName", "x");
  EXPECT_EQ(OpenUninstallKey(product_ + "_is1\\..\\" + product_), nullptr);
}

TEST_F(RegistryWin32, RedirectedEntryComesFirstWhereItExists) {
  AddText(kUninstall, "DisplayVersion", "plain");
  std::unique_ptr<UninstallKey> key = OpenUninstallKey(product_);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->ReadText("DisplayVersion"), "plain");

  AddText(kRedirected, "DisplayVersion", "redirected");
  key = OpenUninstallKey(product_);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->ReadText("DisplayVersion"), "redirected");
}

// ---- Values ----

TEST_F(RegistryWin32, TextAndIntegerValuesOfTheirOwnTypeOnly) {
  AddText(kUninstall, "DisplayVersion", "1.43");
  AddText(kUninstall, "Publisher", "");
  AddInteger(kUninstall, "EstimatedSize", 1234);
  std::unique_ptr<UninstallKey> key = OpenUninstallKey(product_);
  ASSERT_NE(key, nullptr);

  EXPECT_TRUE(key->HasValue("DisplayVersion"));
  EXPECT_TRUE(key->HasValue("displayversion")) << "value names ignore case";
  EXPECT_FALSE(key->HasValue("InstallDate"));
  EXPECT_EQ(key->ReadText("DisplayVersion"), "1.43");
  EXPECT_EQ(key->ReadText("Publisher"), "");
  EXPECT_EQ(key->ReadText("EstimatedSize"), std::nullopt);
  EXPECT_EQ(key->ReadInteger("EstimatedSize"), 1234);
  EXPECT_EQ(key->ReadInteger("DisplayVersion"), std::nullopt);
  EXPECT_EQ(key->ReadText("InstallDate"), std::nullopt);

  EXPECT_TRUE(key->WriteText("DisplayVersion",
                             "1.44 B\xC3\xA4"
                             "ckerei"));
  EXPECT_TRUE(key->WriteInteger("EstimatedSize", -2));
  key.reset();

  key = OpenUninstallKey(product_);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->ReadText("DisplayVersion"),
            "1.44 B\xC3\xA4"
            "ckerei");
  EXPECT_EQ(key->ReadInteger("EstimatedSize"), -2);
  EXPECT_EQ(Reg("query \"" + Key(kUninstall) + "\" /v EstimatedSize"), 0);
}

}  // namespace
