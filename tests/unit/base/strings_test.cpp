#include "base/strings.h"

#include <gtest/gtest.h>

#include "platform/locale.h"
#include "platform/paths.h"

TEST(SplitWords, BlanksOnlySeparate) {
  EXPECT_EQ(SplitWords("  24   Times New  Roman "),
            (std::vector<std::string>{"24", "Times", "New", "Roman"}));
  EXPECT_TRUE(SplitWords("   ").empty());
  EXPECT_EQ(WordStart("  24   Times New", 1), 7u);
  EXPECT_EQ(WordStart("24", 1), std::string::npos);
}

TEST(ParseInteger, DecimalAndHexadecimalForms) {
  struct Case {
    const char* word;
    std::optional<std::int64_t> value;
  };
  const Case cases[] = {{"12", 12},
                        {"-7", -7},
                        {"+3", 3},
                        {"$FF", 255},
                        {"0x10", 16},
                        {"X1f", 31},
                        {"x0A", 10},
                        {"$FFFFFF", 16777215},
                        {"$FF000005", -16777211},
                        {"", std::nullopt},
                        {"12a", std::nullopt},
                        {"0x", std::nullopt},
                        {"--1", std::nullopt},
                        {"99999999999999999999", std::nullopt}};
  for (const Case& c : cases) EXPECT_EQ(ParseInteger(c.word), c.value) << c.word;
  EXPECT_EQ(IntegerOrDefault("abc", 12), 12);
  EXPECT_EQ(IntegerOrDefault("4294967296", 7), 7);
}

TEST(CalcPercent, SharesAndZeroes) {
  EXPECT_DOUBLE_EQ(CalcPercent(100, 200, 50), 25);
  EXPECT_DOUBLE_EQ(CalcPercent(100, 0, 50), 0);
  EXPECT_DOUBLE_EQ(CalcPercent(100, 200, 0), 0);
  EXPECT_DOUBLE_EQ(CalcPercent(100, 200, 300), 150);
  EXPECT_EQ(static_cast<int>(CalcPercent(100, 1000, 300)), 30);
}

TEST(StripAmpersands, RemovesEveryAmpersand) {
  EXPECT_EQ(StripAmpersands("&Abbrechen"), "Abbrechen");
  EXPECT_EQ(StripAmpersands("a && b"), "a  b");
}

TEST(CommandLine, QuotedArgumentsSurviveTheRoundTrip) {
  const std::string name = "Mein Produkt.cfg";
  EXPECT_EQ(SplitCommandLine(QuoteArgument(name) + " \"\" /M"),
            (std::vector<std::string>{name, "", "/M"}));
  EXPECT_EQ(SplitCommandLine("a.cfg /U"), (std::vector<std::string>{"a.cfg", "/U"}));
}

TEST(LocaleCase, SameTextIgnoresLetterCaseOfUmlauts) {
  EXPECT_TRUE(SameText("Prüfung.EXE", "PRÜFUNG.exe"));
  EXPECT_FALSE(SameText("a.txt", "b.txt"));
  EXPECT_EQ(LowerCaseLocale("L"), "l");
}

TEST(Paths, NamesAndContainment) {
  EXPECT_EQ(ChangeFileExt("/opt/q/Quennvoldar", ".dat"), "/opt/q/Quennvoldar.dat");
  EXPECT_EQ(ChangeFileExt("/opt/q.d/Quennvoldar.exe", ".fn"), "/opt/q.d/Quennvoldar.fn");
  EXPECT_EQ(ChangeFileExt("Produkt.cfg", ""), "Produkt");
  EXPECT_EQ(ExtractFilePath("/opt/prod/main"), "/opt/prod/");
  EXPECT_EQ(NativeSeparators("A\\B/c"), std::string("A") + kPathDelim + "B" + kPathDelim + "c");
  for (const char* bad : {"..", "a\\..\\..\\x", "/etc/passwd", "\\x", "C:x", "a/.../b", ".. "}) {
    EXPECT_FALSE(IsContainedRelativePath(bad)) << bad;
  }
  for (const char* good : {"", "a", "Daten\\alt.dll", "a..b/c", ".hidden"}) {
    EXPECT_TRUE(IsContainedRelativePath(good)) << good;
  }
}
