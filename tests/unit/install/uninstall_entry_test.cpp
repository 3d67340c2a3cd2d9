#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "deployment.h"
#include "install_fixture.h"
#include "platform/date_time.h"
#include "platform/registry.h"
#include "platform/strings.h"

namespace {

namespace fs = std::filesystem;

// ---- The file-backed key of the test ----

using Values = std::map<std::string, std::string>;  // name -> "type:value"

std::string KeyText(const Values& values) {
  std::string text;
  for (const auto& [name, value] : values) text += name + "=" + value + "\n";
  return text;
}

Values ParseKey(const std::string& text) {
  Values values;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end - start);
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return values;
}

// An entry of an older version, installed in the fixture's folder; no
// URLUpdateInfo, VersionMajor or VersionMinor.
Values OldEntry(const InstallFixture& f) {
  return {{"InstallLocation", "sz:" + f.form->InstallOrdner},
          {"DisplayName", "sz:Foo Bar V1.43"},
          {"DisplayVersion", "sz:1.43"},
          {"Publisher", "sz:Old Publisher"},
          {"InstallDate", "sz:20200101"},
          {"HelpLink", "sz:http://old.example"},
          {"URLInfoAbout", "sz:http://old.example"},
          {"MajorVersion", "dword:1"},
          {"MinorVersion", "dword:43"},
          {"Comments", "sz:untouched"}};
}

Values UpdatedEntry(const InstallFixture& f) {
  Values values = OldEntry(f);
  values["DisplayName"] = "sz:Foo Bar V1.44";
  values["DisplayVersion"] = "sz:1.44";
  values["Publisher"] = "sz:(c) Beispiel GmbH";
  values["InstallDate"] = "sz:" + FormatDateCompact(NowLocal());
  values["HelpLink"] = std::string("sz:") + kHomePage;
  values["URLInfoAbout"] = std::string("sz:") + kHomePage;
  values["MinorVersion"] = "dword:44";
  return values;
}

// The main program is the version-resource sample (file version 1.4.4.0).
void InstallMainProgram(const InstallFixture& f) {
  fs::copy_file(std::string(QV_TEST_DATA_DIR) + "/version_sample.exe", f.Path("inst/main.exe"),
                fs::copy_options::overwrite_existing);
}

const char* kKeyFile = "registry/Foo Bar_is1.key";

}  // namespace

// ---- The entry ----

TEST(UpdateUninstallEntry, RefreshesOnlyExistingValuesOfThisInstallation) {
  for (const std::string& productLine : {std::string("Foo Bar V1.43"), std::string("Foo Bar")}) {
    SCOPED_TRACE(productLine);
    InstallFixture f;
    if (!f.UninstallEntriesAreKeyFiles()) GTEST_SKIP() << "the real registry is left alone";
    InstallMainProgram(f);
    f.form->MutexTitel = productLine;
    f.Write(kKeyFile, KeyText(OldEntry(f)));
    f.form->UpdateUninstallEntry();
    EXPECT_EQ(ParseKey(f.Read(kKeyFile)), UpdatedEntry(f));
  }
}

TEST(UpdateUninstallEntry, TheInstallLocationMustNameThisFolder) {
  struct Case {
    std::string what;
    std::function<std::string(const std::string&)> location;  // of InstallOrdner
    bool refreshed;
  };
  const std::vector<Case> cases = {
      {"other letter case", [](const std::string& folder) { return UpperCaseLocale(folder); },
       true},
      {"no trailing separator",
       [](const std::string& folder) { return folder.substr(0, folder.size() - 1); }, false},
      {"another folder", [](const std::string& folder) { return folder + "other/"; }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InstallFixture f;
    if (!f.UninstallEntriesAreKeyFiles()) GTEST_SKIP() << "the real registry is left alone";
    InstallMainProgram(f);
    f.form->MutexTitel = "Foo Bar V1.43";
    Values entry = OldEntry(f);
    entry["InstallLocation"] = "sz:" + c.location(f.form->InstallOrdner);
    f.Write(kKeyFile, KeyText(entry));
    f.form->UpdateUninstallEntry();
    Values expected = c.refreshed ? UpdatedEntry(f) : entry;
    expected["InstallLocation"] = entry["InstallLocation"];
    EXPECT_EQ(ParseKey(f.Read(kKeyFile)), expected);
  }
}

TEST(UpdateUninstallEntry, NothingIsCreatedAndNothingUnchangedIsWritten) {
  InstallFixture f;
  if (!f.UninstallEntriesAreKeyFiles()) GTEST_SKIP() << "the real registry is left alone";
  InstallMainProgram(f);
  f.form->MutexTitel = "Foo Bar V1.43";
  // No key at all: no file appears.
  f.form->UpdateUninstallEntry();
  EXPECT_FALSE(f.Exists(kKeyFile));

  // Without an InstallLocation nothing belongs to this installation.
  Values entry = OldEntry(f);
  entry.erase("InstallLocation");
  f.Write(kKeyFile, KeyText(entry));
  f.form->UpdateUninstallEntry();
  EXPECT_EQ(ParseKey(f.Read(kKeyFile)), entry);

  // Already current: the file is not even rewritten.
  f.Write(kKeyFile, KeyText(UpdatedEntry(f)));
  const auto past = fs::last_write_time(f.Path(kKeyFile)) - std::chrono::hours(24 * 365);
  fs::last_write_time(f.Path(kKeyFile), past);
  f.form->UpdateUninstallEntry();
  EXPECT_EQ(fs::last_write_time(f.Path(kKeyFile)), past);
}

TEST(UpdateUninstallEntry, AValueOfAnotherTypeEndsTheRefreshThere) {
  InstallFixture f;
  if (!f.UninstallEntriesAreKeyFiles()) GTEST_SKIP() << "the real registry is left alone";
  InstallMainProgram(f);
  f.form->MutexTitel = "Foo Bar V1.43";
  Values entry = OldEntry(f);
  entry["MajorVersion"] = "sz:1";
  f.Write(kKeyFile, KeyText(entry));
  f.form->UpdateUninstallEntry();
  Values expected = UpdatedEntry(f);
  expected["MajorVersion"] = "sz:1";
  expected["MinorVersion"] = "dword:43";
  EXPECT_EQ(ParseKey(f.Read(kKeyFile)), expected);
}

TEST(UpdateUninstallEntry, WithoutAVersionOnlyDateAndAddressesChange) {
  InstallFixture f;  // no main program file: no version, no publisher
  if (!f.UninstallEntriesAreKeyFiles()) GTEST_SKIP() << "the real registry is left alone";
  f.form->MutexTitel = "Foo Bar V1.43";
  f.Write(kKeyFile, KeyText(OldEntry(f)));
  f.form->UpdateUninstallEntry();
  Values expected = OldEntry(f);
  expected["InstallDate"] = "sz:" + FormatDateCompact(NowLocal());
  expected["HelpLink"] = std::string("sz:") + kHomePage;
  expected["URLInfoAbout"] = std::string("sz:") + kHomePage;
  EXPECT_EQ(ParseKey(f.Read(kKeyFile)), expected);
}

// ---- The POSIX key file ----

TEST(OpenUninstallKey, FileNamesAreEscapedAndValuesKeepTheirSpelling) {
  InstallFixture f;
  if (!f.UninstallEntriesAreKeyFiles()) GTEST_SKIP() << "the real registry is left alone";
  f.Write("registry/A%2FB %25_is1.key", "displayname=sz:Old\nother line\nCount=dword:7\n");
  const std::unique_ptr<UninstallKey> key = OpenUninstallKey("A/B %");
  ASSERT_NE(key, nullptr);
  EXPECT_TRUE(key->HasValue("DisplayName"));
  EXPECT_EQ(key->ReadText("DISPLAYNAME"), "Old");
  EXPECT_EQ(key->ReadInteger("count"), 7);
  EXPECT_EQ(key->ReadInteger("DisplayName"), std::nullopt);
  EXPECT_EQ(key->ReadText("Count"), std::nullopt);
  EXPECT_TRUE(key->WriteText("DisplayName", "New"));
  EXPECT_TRUE(key->WriteInteger("Count", -2));
  EXPECT_FALSE(key->WriteText("Missing", "x"));
  EXPECT_FALSE(key->WriteText("DisplayName", "two\nlines"));
  EXPECT_EQ(f.Read("registry/A%2FB %25_is1.key"), "displayname=sz:New\nother line\nCount=dword:-2\n");
  EXPECT_EQ(OpenUninstallKey("A"), nullptr);
}
