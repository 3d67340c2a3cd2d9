#include <gtest/gtest.h>

#include "install_fixture.h"
#include "platform/file_system.h"
#include "platform/list_file.h"

namespace {

namespace fs = std::filesystem;

const std::string kHeader = "[InternetShortcut]\n";
const std::string kNew = "URL=https://www.quennvoldar.example";

std::string Crlf(const std::string& lfText) {
  std::string text;
  for (char c : lfText) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return text;
}

}  // namespace

TEST(RewriteShortcuts, ReplacesOneLegacyTargetLineAndTouchesNothingElse) {
  struct Case {
    std::string file;  // below the programs folder
    std::string before;
    std::optional<std::string> after;  // nothing: the bytes stay as they were
  };
  const std::vector<Case> cases = {
      {"other case.url", kHeader + "url=http://WWW.QUENNVOLDAR.EXAMPLE\nIconIndex=0\n",
       Crlf(kHeader + kNew + "\nIconIndex=0\n")},
      {"both forms.url",
       kHeader + "URL=http://www.quennvoldar.example\nURL=http://www.quennvoldar.example.tf\n",
       Crlf(kHeader + "URL=http://www.quennvoldar.example\n" + kNew + "\n")},
      {"twice.url",
       kHeader + "URL=http://www.quennvoldar.example\nURL=http://www.quennvoldar.example\n",
       Crlf(kHeader + kNew + "\nURL=http://www.quennvoldar.example\n")},
      {"slash.url", kHeader + "URL=http://www.quennvoldar.example/\n", std::nullopt},
      {"path.url", kHeader + "URL=http://www.quennvoldar.example/news\n", std::nullopt},
      {"blank.url", kHeader + "URL=http://www.quennvoldar.example \n", std::nullopt},
      {"current.url", kHeader + kNew + "\n", std::nullopt},
      {"elsewhere.url", kHeader + "URL=http://www.example.org\n", std::nullopt},
      {"link.lnk", kHeader + "URL=http://www.quennvoldar.example\n", std::nullopt},
      {"a/b/c/d/deep.URL", kHeader + "URL=http://www.quennvoldar.example.tf\n",
       Crlf(kHeader + kNew + "\n")},
  };
  InstallFixture f;
  if (!f.ProgramsFolderIsHere()) {
    GTEST_SKIP() << "the real start menu is left alone; SystemInfoWin32 finds it";
  }
  for (const Case& c : cases) f.Write("share/applications/" + c.file, c.before);
  f.Write("share/applications/folder.url/inner.url",
          kHeader + "URL=http://www.quennvoldar.example\n");
  ASSERT_TRUE(SetReadOnly(f.Path("share/applications/a/b/c/d/deep.URL")));

  install::RewriteShortcuts();
  for (const Case& c : cases) {
    EXPECT_EQ(f.Read("share/applications/" + c.file), c.after.value_or(c.before)) << c.file;
  }
  const fs::perms deep = fs::status(f.Path("share/applications/a/b/c/d/deep.URL")).permissions();
  EXPECT_NE(deep & fs::perms::owner_write, fs::perms::none);
  EXPECT_EQ(f.Read("share/applications/folder.url/inner.url"), Crlf(kHeader + kNew + "\n"));
}

TEST(RewriteShortcuts, KeepsTheShortcutsEncoding) {
  InstallFixture f;
  if (!f.ProgramsFolderIsHere()) {
    GTEST_SKIP() << "the real start menu is left alone; SystemInfoWin32 finds it";
  }
  ListFile shortcut;
  shortcut.encoding = TextEncoding::Utf16LE;
  shortcut.lines = {"[InternetShortcut]", "URL=http://www.quennvoldar.example"};
  f.Write("share/applications/wide.url", EncodeListFile(shortcut));
  install::RewriteShortcuts();
  const ListFile written = DecodeListFile(f.Read("share/applications/wide.url"));
  EXPECT_EQ(written.encoding, TextEncoding::Utf16LE);
  EXPECT_EQ(written.lines, (std::vector<std::string>{"[InternetShortcut]", kNew}));
}
