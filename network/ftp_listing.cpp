#include "network/ftp_listing.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <vector>

#include "base/strings.h"

// ---- Text and numbers ----

namespace {

std::string_view StripLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

bool SameAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldAscii(x) == FoldAscii(y);
         });
}

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Unsigned decimal only: signs, blanks and overflow are rejected.
std::optional<std::int64_t> ParseDecimal(std::string_view text) {
  if (!AllDigits(text)) return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<int> ParseSmall(std::string_view text) {
  if (text.size() > 4) return std::nullopt;
  const auto value = ParseDecimal(text);
  if (!value) return std::nullopt;
  return static_cast<int>(*value);
}

// ---- Dates ----

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool IsValidDate(const DateTimeParts& p) {
  static constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (p.year < 1 || p.month < 1 || p.month > 12 || p.day < 1) return false;
  const int days = kDaysInMonth[p.month - 1] + (p.month == 2 && IsLeapYear(p.year) ? 1 : 0);
  return p.day <= days && p.hour >= 0 && p.hour <= 23 && p.minute >= 0 && p.minute <= 59 &&
         p.second >= 0 && p.second <= 59 && p.millisecond >= 0 && p.millisecond <= 999;
}

// "Jan".."Dec" as 1..12; servers send the English names whatever their locale.
std::optional<int> MonthNumber(std::string_view word) {
  static constexpr std::string_view kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                                 "jul", "aug", "sep", "oct", "nov", "dec"};
  for (int i = 0; i < 12; ++i) {
    if (SameAscii(word, kMonths[i])) return i + 1;
  }
  return std::nullopt;
}

// "HH:MM" or "H:MM".
bool ParseClock(std::string_view word, int& hour, int& minute) {
  const std::size_t colon = word.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 2 || word.size() != colon + 3) {
    return false;
  }
  const auto h = ParseSmall(word.substr(0, colon));
  const auto m = ParseSmall(word.substr(colon + 1));
  if (!h || !m) return false;
  hour = *h;
  minute = *m;
  return true;
}

// ---- Names ----

FtpNameKind ClassifyName(std::string_view name) {
  if (name.empty() || name.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos) {
    return FtpNameKind::Unsafe;
  }
  if (name == "." || name == "..") return FtpNameKind::SelfOrParent;
  return FtpNameKind::Plain;
}

// ---- MLSD ----

// YYYYMMDDHHMMSS with an optional fraction of a second of any length.
std::optional<DateTimeParts> ParseMlsdTime(std::string_view value) {
  if (value.size() < 14) return std::nullopt;
  const std::string_view fraction = value.substr(14);
  if (!fraction.empty() && (fraction[0] != '.' || !AllDigits(fraction.substr(1)))) {
    return std::nullopt;
  }
  DateTimeParts p;
  const auto year = ParseSmall(value.substr(0, 4));
  const auto month = ParseSmall(value.substr(4, 2));
  const auto day = ParseSmall(value.substr(6, 2));
  const auto hour = ParseSmall(value.substr(8, 2));
  const auto minute = ParseSmall(value.substr(10, 2));
  const auto second = ParseSmall(value.substr(12, 2));
  if (!year || !month || !day || !hour || !minute || !second || *second > 60) {
    return std::nullopt;
  }
  p.year = *year;
  p.month = *month;
  p.day = *day;
  p.hour = *hour;
  p.minute = *minute;
  p.second = std::min(*second, 59);  // a leap second counts as the one before
  if (fraction.size() > 1) {
    std::string milliseconds(fraction.substr(1, 3));
    milliseconds.resize(3, '0');
    p.millisecond = *ParseSmall(milliseconds);
  }
  if (!IsValidDate(p)) return std::nullopt;
  return p;
}

// Applies one "name=value" fact; false when a known fact has a bad value.
bool ApplyMlsdFact(std::string_view fact, FtpListingEntry& entry, bool& selfOrParent) {
  const std::size_t equals = fact.find('=');
  if (equals == std::string_view::npos || equals == 0) return false;
  const std::string_view name = fact.substr(0, equals);
  const std::string_view value = fact.substr(equals + 1);
  if (SameAscii(name, "type")) {
    selfOrParent = SameAscii(value, "cdir") || SameAscii(value, "pdir");
    if (SameAscii(value, "file")) {
      entry.type = FtpItemType::File;
    } else if (SameAscii(value, "dir") || selfOrParent) {
      entry.type = FtpItemType::Directory;
    } else {
      entry.type = FtpItemType::Other;  // OS.unix=slink:..., devices and the like
    }
  } else if (SameAscii(name, "size")) {
    const auto size = ParseDecimal(value);
    if (!size) return false;
    entry.size = *size;
  } else if (SameAscii(name, "modify")) {
    entry.modifiedUtc = ParseMlsdTime(value);
    if (!entry.modifiedUtc) return false;
  }
  return true;
}

// ---- LIST sizes ----

// A size of digits only; one too large for 63 bits is noted, not skipped,
// since LIST skips what is no entry and that file would then stay old.
void SetListedSize(std::string_view digits, FtpListingEntry& entry) {
  const auto size = ParseDecimal(digits);
  entry.size = size.value_or(0);
  entry.sizeFits = size.has_value();
}

// ---- Unix LIST ----

// "drwxr-xr-x", optionally followed by an ACL or extended-attribute mark.
bool IsUnixMode(std::string_view word) {
  if (word.size() < 10 || word.size() > 11) return false;
  if (std::string_view("-dlbcpsD").find(word[0]) == std::string_view::npos) return false;
  for (std::size_t i = 1; i < 10; ++i) {
    if (std::string_view("rwxsStTlL-").find(word[i]) == std::string_view::npos) return false;
  }
  return word.size() == 10 || std::string_view("+.@").find(word[10]) != std::string_view::npos;
}

FtpItemType UnixType(char mode) {
  switch (mode) {
    case '-':
      return FtpItemType::File;
    case 'd':
      return FtpItemType::Directory;
    default:
      return FtpItemType::Other;
  }
}

// Month, day and "HH:MM" or year at words[at..at+2]; a time means a date
// within about six months of now.
std::optional<DateTimeParts> ParseUnixDate(const std::vector<std::string>& words, std::size_t at,
                                           const DateTimeParts& nowUtc) {
  const auto month = MonthNumber(words[at]);
  const auto day = words[at + 1].size() <= 2 ? ParseSmall(words[at + 1]) : std::nullopt;
  if (!month || !day) return std::nullopt;
  DateTimeParts p;
  p.month = *month;
  p.day = *day;
  const std::string& yearOrTime = words[at + 2];
  if (yearOrTime.size() == 4 && AllDigits(yearOrTime)) {
    p.year = *ParseSmall(yearOrTime);
  } else if (ParseClock(yearOrTime, p.hour, p.minute)) {
    constexpr double kHalfYearDays = 183;
    p.year = nowUtc.year;
    // Feb 29 in a common year rolls over to Mar 1 here, close enough to judge.
    if (EncodeDateTime(p) - EncodeDateTime(nowUtc) > kHalfYearDays) --p.year;
  } else {
    return std::nullopt;
  }
  if (!IsValidDate(p)) return std::nullopt;
  return p;
}

std::optional<FtpListingEntry> ParseUnixLine(std::string_view line, const DateTimeParts& nowUtc) {
  const std::vector<std::string> words = SplitWords(line);
  if (words.empty() || !IsUnixMode(words[0])) return std::nullopt;

  // Owner and group may be missing or look like anything, so find the date:
  // size, month, day, time or year. The name follows after one blank.
  for (std::size_t at = 2; at + 2 < words.size(); ++at) {
    if (!AllDigits(words[at - 1])) continue;
    auto modified = ParseUnixDate(words, at, nowUtc);
    if (!modified) continue;

    FtpListingEntry entry;
    entry.type = UnixType(words[0][0]);
    SetListedSize(words[at - 1], entry);
    entry.modifiedUtc = modified;
    const std::size_t nameStart = WordStart(line, at + 2) + words[at + 2].size() + 1;
    std::string_view name = nameStart < line.size() ? line.substr(nameStart) : std::string_view();
    if (words[0][0] == 'l') name = name.substr(0, name.find(" -> "));
    entry.name = std::string(name);
    entry.nameKind = ClassifyName(name);
    return entry;
  }
  return std::nullopt;
}

// ---- DOS LIST ----

// "MM-DD-YY" or "MM-DD-YYYY"; two-digit years from 70 on are 19xx.
bool ParseDosDate(std::string_view word, DateTimeParts& p) {
  if ((word.size() != 8 && word.size() != 10) || word[2] != '-' || word[5] != '-') return false;
  const auto month = ParseSmall(word.substr(0, 2));
  const auto day = ParseSmall(word.substr(3, 2));
  const auto year = ParseSmall(word.substr(6));
  if (!month || !day || !year) return false;
  p.month = *month;
  p.day = *day;
  p.year = *year;
  if (word.size() == 8) p.year += p.year >= 70 ? 1900 : 2000;
  return true;
}

// "22:15" or "10:15PM".
bool ParseDosTime(std::string_view word, DateTimeParts& p) {
  std::string_view suffix;
  if (word.size() > 2) suffix = word.substr(word.size() - 2);
  const bool am = SameAscii(suffix, "am");
  const bool pm = SameAscii(suffix, "pm");
  if (am || pm) word.remove_suffix(2);
  if (!ParseClock(word, p.hour, p.minute)) return false;
  if (am || pm) {
    if (p.hour < 1 || p.hour > 12) return false;
    p.hour = p.hour % 12 + (pm ? 12 : 0);
  }
  return true;
}

std::optional<FtpListingEntry> ParseDosLine(std::string_view line) {
  const std::vector<std::string> words = SplitWords(line);
  if (words.size() < 3) return std::nullopt;
  DateTimeParts modified;
  if (!ParseDosDate(words[0], modified) || !ParseDosTime(words[1], modified) ||
      !IsValidDate(modified)) {
    return std::nullopt;
  }
  FtpListingEntry entry;
  entry.modifiedUtc = modified;
  if (SameAscii(words[2], "<dir>")) {
    entry.type = FtpItemType::Directory;
  } else {
    if (!AllDigits(words[2])) return std::nullopt;
    entry.type = FtpItemType::File;
    SetListedSize(words[2], entry);
  }
  // The padding before the name is not part of it; blanks inside are.
  const std::size_t nameStart = WordStart(line, 3);
  const std::string_view name =
      nameStart == std::string_view::npos ? std::string_view() : line.substr(nameStart);
  entry.name = std::string(name);
  entry.nameKind = ClassifyName(name);
  return entry;
}

}  // namespace

// ---- Entry points ----

std::optional<FtpListingEntry> ParseMlsdLine(std::string_view line) {
  line = StripLineEnd(line);
  const std::size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return std::nullopt;

  FtpListingEntry entry;
  bool selfOrParent = false;
  std::string_view facts = line.substr(0, blank);
  while (!facts.empty()) {
    const std::size_t semicolon = facts.find(';');
    const std::string_view fact = facts.substr(0, semicolon);
    if (!ApplyMlsdFact(fact, entry, selfOrParent)) return std::nullopt;
    facts = semicolon == std::string_view::npos ? std::string_view() : facts.substr(semicolon + 1);
  }
  const std::string_view name = line.substr(blank + 1);
  entry.name = std::string(name);
  // A cdir or pdir entry may carry a full path; it is skipped all the same.
  entry.nameKind = selfOrParent ? FtpNameKind::SelfOrParent : ClassifyName(name);
  return entry;
}

std::optional<FtpListingEntry> ParseListLine(std::string_view line, const DateTimeParts& nowUtc) {
  line = StripLineEnd(line);
  if (auto entry = ParseUnixLine(line, nowUtc)) return entry;
  return ParseDosLine(line);
}
