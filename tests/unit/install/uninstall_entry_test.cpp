#include <gtest/gtest.h>

#include <functional>

#include "base/strings.h"
#include "deployment.h"
#include "install_fixture.h"
#include "platform/local_time.h"
#include "platform/locale.h"
#include "platform/registry.h"
#include "uninstall_entry_store.h"

namespace fs = std::filesystem;

namespace {

// ---- Entries of the test ----

// An entry of an older version, installed in the fixture's folder; no
// URLUpdateInfo, VersionMajor or VersionMinor.
EntryValues OldEntry(const InstallFixture& f) {
  return {{"InstallLocation", "sz:" + f.form->State().InstallOrdner},
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

EntryValues UpdatedEntry(const InstallFixture& f) {
  EntryValues values = OldEntry(f);
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

// The entry of the store's product, in the fixture's registry folder.
struct EntryFixture {
  InstallFixture f;
  UninstallEntryStore entry{f.Path("registry")};
};

}  // namespace

// ---- The entry ----

TEST(UpdateUninstallEntry, RefreshesOnlyExistingValuesOfThisInstallation) {
  for (const bool withVersion : {true, false}) {
    SCOPED_TRACE(withVersion ? "product line with a version" : "product line without one");
    EntryFixture e;
    InstallMainProgram(e.f);
    e.f.form->State().MutexTitel = e.entry.Product() + (withVersion ? " V1.43" : "");
    e.entry.Write(OldEntry(e.f));
    install::UpdateUninstallEntry(e.f.form->State());
    EXPECT_EQ(e.entry.Read(), UpdatedEntry(e.f));
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
      {"another folder", [](const std::string& folder) { return folder + "other" + kPathDelim; },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EntryFixture e;
    InstallMainProgram(e.f);
    e.f.form->State().MutexTitel = e.entry.Product() + " V1.43";
    EntryValues old = OldEntry(e.f);
    old["InstallLocation"] = "sz:" + c.location(e.f.form->State().InstallOrdner);
    e.entry.Write(old);
    install::UpdateUninstallEntry(e.f.form->State());
    EntryValues expected = c.refreshed ? UpdatedEntry(e.f) : old;
    expected["InstallLocation"] = old["InstallLocation"];
    EXPECT_EQ(e.entry.Read(), expected);
  }
}

TEST(UpdateUninstallEntry, NothingIsCreatedAndNothingUnchangedIsWritten) {
  EntryFixture e;
  InstallMainProgram(e.f);
  e.f.form->State().MutexTitel = e.entry.Product() + " V1.43";
  // No entry at all: none appears.
  install::UpdateUninstallEntry(e.f.form->State());
  EXPECT_EQ(e.entry.Read(), std::nullopt);

  // Without an InstallLocation nothing belongs to this installation.
  EntryValues old = OldEntry(e.f);
  old.erase("InstallLocation");
  e.entry.Write(old);
  install::UpdateUninstallEntry(e.f.form->State());
  EXPECT_EQ(e.entry.Read(), old);

  // Already current: not even written again.
  e.entry.Write(UpdatedEntry(e.f));
  e.entry.StartWatching();
  install::UpdateUninstallEntry(e.f.form->State());
  EXPECT_FALSE(e.entry.WrittenSinceWatching());
  EXPECT_EQ(e.entry.Read(), UpdatedEntry(e.f));
}

TEST(UpdateUninstallEntry, AValueOfAnotherTypeEndsTheRefreshThere) {
  EntryFixture e;
  InstallMainProgram(e.f);
  e.f.form->State().MutexTitel = e.entry.Product() + " V1.43";
  EntryValues old = OldEntry(e.f);
  old["MajorVersion"] = "sz:1";
  e.entry.Write(old);
  install::UpdateUninstallEntry(e.f.form->State());
  EntryValues expected = UpdatedEntry(e.f);
  expected["MajorVersion"] = "sz:1";
  expected["MinorVersion"] = "dword:43";
  EXPECT_EQ(e.entry.Read(), expected);
}

TEST(UpdateUninstallEntry, WithoutAVersionOnlyDateAndAddressesChange) {
  EntryFixture e;  // no main program file: no version, no publisher
  e.f.form->State().MutexTitel = e.entry.Product() + " V1.43";
  e.entry.Write(OldEntry(e.f));
  install::UpdateUninstallEntry(e.f.form->State());
  EntryValues expected = OldEntry(e.f);
  expected["InstallDate"] = "sz:" + FormatDateCompact(NowLocal());
  expected["HelpLink"] = std::string("sz:") + kHomePage;
  expected["URLInfoAbout"] = std::string("sz:") + kHomePage;
  EXPECT_EQ(e.entry.Read(), expected);
}

// ---- The POSIX key file ----

TEST(OpenUninstallKey, FileNamesAreEscapedAndValuesKeepTheirSpelling) {
  InstallFixture f;
  if (!f.UninstallEntriesAreKeyFiles()) {
    GTEST_SKIP() << "key files are the POSIX port's; RegistryWin32 tests the registry";
  }
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
  EXPECT_TRUE(key->WriteInteger("Missing", 3));  // created, as the registry does
  EXPECT_FALSE(key->WriteText("DisplayName", "two\nlines"));
  EXPECT_EQ(f.Read("registry/A%2FB %25_is1.key"),
            "displayname=sz:New\nother line\nCount=dword:-2\nMissing=dword:3\n");
  EXPECT_EQ(OpenUninstallKey("A"), nullptr);
}
