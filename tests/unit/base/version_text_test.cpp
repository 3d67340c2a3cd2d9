#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/version_text.h"

TEST(VersionText, ShortFileVersion) {
  const std::vector<std::pair<std::string, std::string>> cases = {{"1.4.4.0", "1.44"},
                                                                  {"1.0.0.0", "1.0"},
                                                                  {"10.0.0.0", "10.0"},
                                                                  {"2.1.0.0", "2.10"},
                                                                  {"2.0.5.0", "2.05"},
                                                                  {"1.4.4.1", "1.4.4.1"},
                                                                  {"1.0", "1.0"},
                                                                  {"1.2.0", "12"},
                                                                  {"7", ""},
                                                                  {"", ""},
                                                                  {"1.4.12.0", "1.4.2"}};
  for (const auto& [fileVersion, expected] : cases) {
    EXPECT_EQ(ShortFileVersion(fileVersion), expected) << fileVersion;
  }
}

TEST(VersionText, StripAndAppendTheVersionWord) {
  const std::vector<std::pair<std::string, std::string>> strip = {
      {"Foo Bar V1.43", "Foo Bar"},       {"Foo Bar", "Foo Bar"}, {"Foo V2", "Foo V2"},
      {"Foo Bar v1.43", "Foo Bar v1.43"}, {"V1.0", ""},           {"", ""},
      {"Foo  Bar   V1.43 ", "Foo  Bar"}};
  for (const auto& [text, expected] : strip) EXPECT_EQ(StripVersionSuffix(text), expected) << text;
  EXPECT_EQ(AppendVersionSuffix("Foo Bar V1.43", "1.44"), "Foo Bar V1.44");
  EXPECT_EQ(AppendVersionSuffix("Foo Bar", "1.44"), "Foo Bar V1.44");
  EXPECT_EQ(AppendVersionSuffix("", "1.44"), "");
  EXPECT_EQ(AppendVersionSuffix("Foo", ""), "");
}

TEST(VersionText, MajorAndMinorNumbers) {
  struct Case {
    std::string version;
    int major, minor;
  };
  for (const Case& c : std::vector<Case>{{"1.44", 1, 44},
                                         {"1.0", 1, 0},
                                         {"2", 2, -1},
                                         {"1.4.4.1", 1, -1},
                                         {"", -1, -1},
                                         {"$A.x10", 10, 16},
                                         {"a.b", -1, -1},
                                         {"-3.5", -3, 5}}) {
    EXPECT_EQ(VersionMajorOf(c.version), c.major) << c.version;
    EXPECT_EQ(VersionMinorOf(c.version), c.minor) << c.version;
  }
}
