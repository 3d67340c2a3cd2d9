// Locale and system questions answered by Windows itself: letter case, the
// ANSI code page, day and month names, the user and the shell folders.
#include <gtest/gtest.h>

#include "base/strings.h"
#include "base/text_codec.h"
#include "platform/file_system.h"
#include "platform/locale.h"
#include "platform/system_info.h"

namespace {

// ---- Letter case ----

TEST(LocaleWin32, LetterCaseOfUmlautsAndSameText) {
  EXPECT_EQ(UpperCaseLocale("j\xC3\xA4nner \xC3\xB6l"), "J\xC3\x84NNER \xC3\x96L");
  EXPECT_EQ(LowerCaseLocale("M\xC3\x84R"), "m\xC3\xA4r");
  EXPECT_TRUE(
      SameText("C:\\Programme\\Gr\xC3\xB6\xC3\x9F"
               "e.exe",
               "c:\\PROGRAMME\\GR\xC3\x96\xC3\x9F"
               "E.EXE"));
  EXPECT_FALSE(
      SameText("a\xC2\xAD"
               "b",
               "ab"))
      << "no collation: a soft hyphen still counts";
  EXPECT_EQ(UpperCaseLocale(""), "");
}

// ---- ANSI code page ----

TEST(LocaleWin32, AnsiRoundTripWithoutLookAlikes) {
  const std::string text =
      "Gr\xC3\xBC\xC3\x9F"
      "e";
  EXPECT_EQ(AnsiToUtf8(Utf8ToAnsi(text)), text);
  // A full-width backslash must not turn into a path separator.
  EXPECT_EQ(Utf8ToAnsi("a\xEF\xBC\xBC"
                       "b"),
            "a?b");
  EXPECT_EQ(AnsiToUtf8(""), "");
}

// ---- System ----

// The tests run as an administrator (Wine's user is one; the registry tests
// need it too).
TEST(SystemInfoWin32, UserAndCommonProgramsFolder) {
  EXPECT_TRUE(IsUserAdmin(""));
  EXPECT_FALSE(GetCurrentUserName().empty());
  const std::string programs = AllUsersProgramsFolder();
  ASSERT_FALSE(programs.empty());
  EXPECT_EQ(programs.back(), '\\');
  EXPECT_TRUE(DirectoryExists(programs)) << programs;
}

}  // namespace
