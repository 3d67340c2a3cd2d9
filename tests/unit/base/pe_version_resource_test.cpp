#include "base/pe_version_resource.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

namespace {

// ---- Fixtures ----

// Built by tests/data/version_sample/build.sh.
std::string ReadFixture(const std::string& name) {
  std::ifstream file(std::string(QV_TEST_DATA_DIR) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

const std::string& Sample32() {
  static const std::string bytes = ReadFixture("version_sample.exe");
  return bytes;
}

// Where the UTF-16 key of a version block starts; its header is the six
// bytes before it.
std::size_t KeyOffset(const std::string& bytes, std::u16string_view key) {
  std::string pattern;
  for (char16_t c : key) {
    pattern += static_cast<char>(c & 0xFF);
    pattern += static_cast<char>(c >> 8);
  }
  pattern += std::string(2, '\0');
  return bytes.find(pattern);
}

void PutU16(std::string& bytes, std::size_t offset, std::uint16_t value) {
  bytes[offset] = static_cast<char>(value & 0xFF);
  bytes[offset + 1] = static_cast<char>(value >> 8);
}

// ---- Reading the fixtures ----

TEST(PeVersionResource, ReadsStringsOfTheFirstTranslation) {
  struct Case {
    const char* file;
    const char* key;
    std::string expected;
  };
  const Case cases[] = {
      {"version_sample.exe", "FileVersion", "1.4.4.0"},
      {"version_sample.exe", "fileversion", "1.4.4.0"},
      {"version_sample.exe", "FILEVERSION", "1.4.4.0"},
      {"version_sample.exe", "LegalCopyright", "(c) Beispiel GmbH"},
      {"version_sample.exe", "CompanyName", "B\303\244ckerei Beispiel GmbH"},
      {"version_sample.exe", "ProductVersion", "1.4.4"},
      {"version_sample.exe", "OriginalFilename", "beispiel.exe"},
      // Stored as a lone NUL (length 1).
      {"version_sample.exe", "SpecialBuild", ""},
      {"version_sample.exe", "Comments", ""},
      {"version_sample.exe", "", ""},
      {"version_sample.exe", "FileVersio", ""},
      {"version_sample.exe", "FileVersionX", ""},
      // 64-bit image; the first translation's table is stored second.
      {"version_sample_x64.exe", "CompanyName", "Example Inc."},
      {"version_sample_x64.exe", "FileVersion", "2.0.0.0"},
      {"version_sample_no_translation.exe", "FileVersion", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.key);
    const std::string bytes = ReadFixture(c.file);
    ASSERT_FALSE(bytes.empty());
    const std::string value = ReadVersionString(bytes, c.key);
    EXPECT_EQ(value, c.expected);
    EXPECT_EQ(value.size(), c.expected.size());  // no NUL carried along
  }
}

TEST(PeVersionResource, RejectsWhatIsNoPeImage) {
  std::string noMz = Sample32();
  noMz[0] = 'X';
  std::string noPe = Sample32();
  noPe[0x3C] = '\x7F';
  noPe[0x3D] = '\x7F';
  std::string farPe = Sample32();
  PutU16(farPe, 0x3C, 0xFFFF);
  PutU16(farPe, 0x3E, 0xFFFF);
  for (const std::string& bytes :
       {std::string(), std::string("MZ"), std::string("plain text, not an executable"), noMz, noPe,
        farPe}) {
    EXPECT_EQ(ReadVersionString(bytes, "FileVersion"), "");
  }
}

// ---- Stored value lengths ----

// The stored length counts the NUL; a length that disagrees with the text
// never reaches past the block and never brings the NUL along.
TEST(PeVersionResource, HonoursTheStoredValueLength) {
  struct Case {
    std::uint16_t storedLength;
    std::string expected;
  };
  const Case cases[] = {{0, ""},        {1, "1"},       {3, "1.4"},         {7, "1.4.4.0"},
                        {8, "1.4.4.0"}, {9, "1.4.4.0"}, {0xFFFF, "1.4.4.0"}};
  const std::size_t key = KeyOffset(Sample32(), u"FileVersion");
  ASSERT_NE(key, std::string::npos);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.storedLength);
    std::string bytes = Sample32();
    PutU16(bytes, key - 4, c.storedLength);
    EXPECT_EQ(ReadVersionString(bytes, "FileVersion"), c.expected);
  }
}

TEST(PeVersionResource, NeedsAWholeTranslationEntry) {
  const std::size_t key = KeyOffset(Sample32(), u"Translation");
  ASSERT_NE(key, std::string::npos);
  for (std::uint16_t storedLength : {0, 2, 3}) {
    SCOPED_TRACE(storedLength);
    std::string bytes = Sample32();
    PutU16(bytes, key - 4, storedLength);
    EXPECT_EQ(ReadVersionString(bytes, "FileVersion"), "");
  }
}

TEST(PeVersionResource, MatchesTheTableOfTheTranslationOnly) {
  // Translation 0407/04B0 pointing at an English code page instead.
  std::string bytes = Sample32();
  const std::size_t key = KeyOffset(bytes, u"Translation");
  ASSERT_NE(key, std::string::npos);
  const std::size_t value = key + 24 + 2;  // "Translation" and NUL, padded to 32 bits
  ASSERT_EQ(bytes.substr(value, 4), std::string("\x07\x04\xB0\x04", 4));
  PutU16(bytes, value + 2, 0x04E4);
  EXPECT_EQ(ReadVersionString(bytes, "FileVersion"), "");
}

// ---- Damaged files ----

// Run with sanitizers these catch any read outside the buffer.
TEST(PeVersionResource, SurvivesEveryTruncation) {
  const std::string& full = Sample32();
  for (std::size_t length = 0; length < full.size(); ++length) {
    const std::string value =
        ReadVersionString(std::string_view(full).substr(0, length), "FileVersion");
    EXPECT_TRUE(value.empty() || value == "1.4.4.0") << "length " << length;
  }
}

TEST(PeVersionResource, SurvivesEverySingleByteOverwrite) {
  for (const char* file : {"version_sample.exe", "version_sample_x64.exe"}) {
    const std::string original = ReadFixture(file);
    ASSERT_FALSE(original.empty());
    for (std::size_t offset = 0; offset < original.size(); ++offset) {
      for (char replacement : {'\x00', '\x01', '\x7F', '\x80', '\xFF'}) {
        std::string bytes = original;
        bytes[offset] = replacement;
        const std::string value = ReadVersionString(bytes, "CompanyName");
        EXPECT_LT(value.size(), original.size()) << file << " offset " << offset;
      }
    }
  }
}

TEST(PeVersionResource, SurvivesRandomDamage) {
  const std::string& original = Sample32();
  std::mt19937 random(1440);
  std::uniform_int_distribution<std::size_t> offset(0, original.size() - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> count(1, 16);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes = original;
    for (int n = count(random); n > 0; --n) bytes[offset(random)] = static_cast<char>(byte(random));
    const std::string value = ReadVersionString(bytes, "LegalCopyright");
    EXPECT_LT(value.size(), original.size()) << "round " << round;
  }
}

}  // namespace
