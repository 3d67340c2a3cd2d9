#include "platform/list_file.h"

#include <gtest/gtest.h>

#include "../support/temp_folder.h"

namespace {

const std::string kUtf8Bom = "\xEF\xBB\xBF";
const std::string kUtf16LeBom = "\xFF\xFE";

std::string Utf16Be(const std::u16string& text) {
  std::string bytes = "\xFE\xFF";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit >> 8);
    bytes += static_cast<char>(unit & 0xFF);
  }
  return bytes;
}

}  // namespace

TEST(ListFile, EachEncodingIsReadAndWrittenBackAsItCame) {
  struct Case {
    const char* name;
    std::string bytes;
    TextEncoding encoding;
    const char* firstLine;
    std::string rewritten;
  };
  const Case cases[] = {
      {"ansi", "Gr\xFC\xDF\r\nzwei", TextEncoding::Ansi, "Gr\xC3\xBC\xC3\x9F",
       "Gr\xFC\xDF\r\nzwei\r\n"},
      {"utf8", "\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F\nzwei\n", TextEncoding::Utf8, "Gr\xC3\xBC\xC3\x9F",
       "\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F\r\nzwei\r\n"},
      {"utf16le", std::string("\xFF\xFEG\0\xFC\0\r\0z\0", 10), TextEncoding::Utf16LE, "G\xC3\xBC",
       std::string("\xFF\xFEG\0\xFC\0\r\0\n\0z\0\r\0\n\0", 16)},
      {"utf16be", Utf16Be(u"G\u00fc\nz"), TextEncoding::Utf16BE, "G\xC3\xBC",
       Utf16Be(u"G\u00fc\r\nz\r\n")},
  };
  for (const Case& c : cases) {
    const ListFile file = DecodeListFile(c.bytes);
    EXPECT_EQ(file.encoding, c.encoding) << c.name;
    ASSERT_EQ(file.lines.size(), 2u) << c.name;
    EXPECT_EQ(file.lines[0], c.firstLine) << c.name;
    EXPECT_EQ(EncodeListFile(file), c.rewritten) << c.name;
  }
}

TEST(ListFile, LineEndsOfEveryKindAndEmptyLines) {
  EXPECT_EQ(DecodeListFile("a\r\n\rb\n\nc").lines,
            (std::vector<std::string>{"a", "", "b", "", "c"}));
  EXPECT_TRUE(DecodeListFile("").lines.empty());
  EXPECT_EQ(DecodeListFile("x\r\n").lines, (std::vector<std::string>{"x"}));
}

TEST(ListFile, BrokenUnicodeNeverYieldsInvalidText) {
  // An odd byte count and a lone surrogate in UTF-16; a cut sequence in UTF-8.
  const ListFile odd = DecodeListFile(kUtf16LeBom + std::string("A\0\x00\xD8", 4) + "B");
  ASSERT_EQ(odd.lines.size(), 1u);
  EXPECT_EQ(odd.lines[0], "A\xEF\xBF\xBD");
  EXPECT_EQ(DecodeListFile(kUtf8Bom + "a\xC3").lines[0], "a\xEF\xBF\xBD");
}

TEST(ListFile, SavedFileIsWritableAgainAndMembershipIgnoresCase) {
  TempFolder temp;
  const std::string path = temp.Path() + "list.dat";
  ListFile file{{"/opt/Produkt/A.exe"}, TextEncoding::Ansi};
  ASSERT_TRUE(SaveListFile(path, file));
  const auto read = ReadListFile(path);
  ASSERT_TRUE(read.has_value());
  EXPECT_TRUE(ContainsText(read->lines, "/OPT/produkt/a.EXE"));
  EXPECT_FALSE(ReadListFile(temp.Path() + "missing").has_value());
}

TEST(ListFile, AnsiFileTakesUtf8WhenALineDoesNotFitTheCodePage) {
  // "ő" has no place in Windows-1252; "ä" has.
  EXPECT_EQ(EncodeListFile({{"K\xC3\xA4se"}, TextEncoding::Ansi}), "K\xE4se\r\n");
  EXPECT_EQ(EncodeListFile({{"a", "Gr\xC5\x91n"}, TextEncoding::Ansi}),
            kUtf8Bom + "a\r\nGr\xC5\x91n\r\n");
}
