#include "base/text_wrap.h"

#include <gtest/gtest.h>

namespace {

// Ten pixels per character (not per byte), so umlauts count once.
int TenPerCharacter(const std::string& text) {
  int width = 0;
  for (const unsigned char c : text) {
    if ((c & 0xC0) != 0x80) width += 10;
  }
  return width;
}

}  // namespace

TEST(WrapText, BreaksAtBlanksAndInsideWordsWiderThanTheLine) {
  struct Case {
    std::string text;
    int lineWidth;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"Entpacke Archiv...", 180, {"Entpacke Archiv..."}},
      {"Aktualisierung wird heruntergeladen...",
       200,
       {"Aktualisierung wird", "heruntergeladen..."}},
      // A word wider than the line goes on in the next; what follows joins it.
      {"Aktualisierung wird", 60, {"Aktual", "isieru", "ng", "wird"}},
      {"ab Aktualisierung", 100, {"ab", "Aktualisie", "rung"}},
      // Umlauts stay whole.
      {"geprüft", 50, {"geprü", "ft"}},
      // Not even one character fits: one per line all the same.
      {"ab", 5, {"a", "b"}},
      {"", 100, {""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + " in " + std::to_string(c.lineWidth));
    EXPECT_EQ(WrapText(TenPerCharacter, c.text, c.lineWidth), c.lines);
  }
}

TEST(BreakLongWords, BreaksPathsAfterSeparatorsAndKeepsTheRest) {
  struct Case {
    std::string text;
    std::string broken;
  };
  // Lines of at most 12 characters.
  const Case cases[] = {
      {"Kurz und gut.", "Kurz und gut."},
      {"Nach \"C:\\Programme\\Produkt\\a.txt\" ist",
       "Nach \"C:\\\r\nProgramme\\\r\nProdukt\\\r\na.txt\" ist"},
      {"/tmp/Produkt/Daten/b.txt", "/tmp/\r\nProdukt/\r\nDaten/b.txt"},
      // No separator in reach: between characters.
      {"Aktualisierungsdaten", "Aktualisieru\r\nngsdaten"},
      // Line breaks already there stay.
      {"Fehler!\r\n/a/b", "Fehler!\r\n/a/b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(BreakLongWords(TenPerCharacter, c.text, 120), c.broken);
  }
}
