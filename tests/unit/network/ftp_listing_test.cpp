#include "network/ftp_listing.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

using namespace std::string_view_literals;

namespace {

// ---- Expectations ----

constexpr DateTimeParts kNow{2026, 12, 10, 11, 43, 50, 0};

DateTimeParts At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                 int millisecond = 0) {
  return DateTimeParts{year, month, day, hour, minute, second, millisecond};
}

std::string Describe(const std::optional<DateTimeParts>& p) {
  if (!p) return "(none)";
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", p->year, p->month, p->day,
                p->hour, p->minute, p->second, p->millisecond);
  return text;
}

struct Expected {
  std::string name;
  FtpItemType type;
  std::int64_t size;
  std::optional<DateTimeParts> modified;
  FtpNameKind kind = FtpNameKind::Plain;
};

struct Case {
  std::string_view line;
  Expected expected;
};

void ExpectEntry(const std::optional<FtpListingEntry>& entry, const Expected& expected) {
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->name, expected.name);
  EXPECT_EQ(entry->type, expected.type);
  EXPECT_EQ(entry->size, expected.size);
  EXPECT_TRUE(entry->sizeFits);
  EXPECT_EQ(Describe(entry->modifiedUtc), Describe(expected.modified));
  EXPECT_EQ(entry->nameKind, expected.kind);
}

// Whatever a parser accepts, a Plain name must be fit for a local path.
void ExpectPlainNameSafe(const std::optional<FtpListingEntry>& entry) {
  if (!entry || entry->nameKind != FtpNameKind::Plain) return;
  EXPECT_FALSE(entry->name.empty());
  EXPECT_EQ(entry->name.find_first_of("/\\\0"sv), std::string::npos);
}

const auto kFile = FtpItemType::File;
const auto kDir = FtpItemType::Directory;
const auto kOther = FtpItemType::Other;

// ---- MLSD ----

TEST(FtpListingMlsd, ParsesFacts) {
  const Case cases[] = {
      // As pyftpdlib sends them, line end included.
      {"modify=20261210114350;perm=radfw;size=1;type=file;unique=fe00ga74a09;unix.gid=0;"
       "unix.mode=0o644;unix.uid=0; Gr\303\274\303\237e  zwei Blanks.txt\r\n",
       {"Gr\303\274\303\237e  zwei Blanks.txt", kFile, 1, At(2026, 12, 10, 11, 43, 50)}},
      {"modify=20261210101559;perm=eldfmcp;size=4096;type=dir;unique=fe00ga74a07;unix.gid=0;"
       "unix.mode=0o755;unix.uid=0; Neuer Ordner\r\n",
       {"Neuer Ordner", kDir, 4096, At(2026, 12, 10, 10, 15, 59)}},
      {"modify=20261210114350;perm=eldfmcp;size=4096;type=cdir;unique=fe00ga74a06;unix.gid=0;"
       "unix.mode=0o755;unix.uid=0; .\r\n",
       {".", kDir, 4096, At(2026, 12, 10, 11, 43, 50), FtpNameKind::SelfOrParent}},
      {"type=file;size=12;modify=20261210101559.123; name",
       {"name", kFile, 12, At(2026, 12, 10, 10, 15, 59, 123)}},
      // Fact names and type values in any case, facts in any order.
      {"Modify=20240305080910;SIZE=0;Type=FILE; alt.dat",
       {"alt.dat", kFile, 0, At(2024, 3, 5, 8, 9, 10)}},
      {"type=pdir;modify=20261210101559; ..",
       {"..", kDir, 0, At(2026, 12, 10, 10, 15, 59), FtpNameKind::SelfOrParent}},
      // cdir may name the full path; it is still the listed folder itself.
      {"type=cdir; /srv/ftp/updates", {"/srv/ftp/updates", kDir, 0, {}, FtpNameKind::SelfOrParent}},
      {"type=OS.unix=slink:/srv/target;size=6; link", {"link", kOther, 6, {}}},
      {"type=OS.unix=chr-1/3; null", {"null", kOther, 0, {}}},
      // Unknown facts are ignored; missing ones leave the defaults.
      {"perm=r;unique=801g4;x.custom=a=b; plain", {"plain", kOther, 0, {}}},
      {" no facts", {"no facts", kOther, 0, {}}},
      // Everything after the first blank is the name, blanks and separators too.
      {"type=file;size=1;  leading blank", {" leading blank", kFile, 1, {}}},
      {"type=file;size=1; a=b;c d ", {"a=b;c d ", kFile, 1, {}}},
      {"type=file;size=1; arrow -> kept", {"arrow -> kept", kFile, 1, {}}},
      // The final semicolon is optional in practice.
      {"type=file;size=7 last", {"last", kFile, 7, {}}},
      {"type=file;size=9223372036854775807; huge", {"huge", kFile, INT64_MAX, {}}},
      // Fractions of any length; only milliseconds are kept.
      {"type=file;modify=20261210101559.5; f", {"f", kFile, 0, At(2026, 12, 10, 10, 15, 59, 500)}},
      {"type=file;modify=20261210101559.123456; f",
       {"f", kFile, 0, At(2026, 12, 10, 10, 15, 59, 123)}},
      {"type=file;modify=20240229000000; leap", {"leap", kFile, 0, At(2024, 2, 29)}},
      {"type=file;modify=20261231235960; leap second",
       {"leap second", kFile, 0, At(2026, 12, 31, 23, 59, 59)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.line));
    ExpectEntry(ParseMlsdLine(c.line), c.expected);
  }
}

TEST(FtpListingMlsd, FlagsUnsafeNames) {
  const std::string_view lines[] = {
      "type=file;size=1; ",     "type=dir; sub/dir",      "type=file; ..\\evil.exe",
      "type=file; /etc/passwd", "type=file; nul\0byte"sv, "type=OS.unix=slink; a/b",
  };
  for (std::string_view line : lines) {
    SCOPED_TRACE(std::string(line));
    const auto entry = ParseMlsdLine(line);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->nameKind, FtpNameKind::Unsafe);
  }
}

TEST(FtpListingMlsd, RecognisesDotNamesOfAnyType) {
  for (std::string_view line : {"type=dir; ."sv, "type=dir; .."sv, "type=file; ."sv}) {
    SCOPED_TRACE(std::string(line));
    const auto entry = ParseMlsdLine(line);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->nameKind, FtpNameKind::SelfOrParent);
  }
  const auto dotted = ParseMlsdLine("type=file; ...");
  ASSERT_TRUE(dotted.has_value());
  EXPECT_EQ(dotted->nameKind, FtpNameKind::Plain);
}

TEST(FtpListingMlsd, RejectsMalformedLines) {
  const std::string_view lines[] = {
      "",
      "\r\n",
      "type=file;size=12;modify=20261210101559;name",
      "type=file;size=1;",
      "type=file;;size=1; empty fact",
      "type; no value",
      "=file; no fact name",
      "size=; empty size",
      "size=-1; negative",
      "size=+1; signed",
      "size=12a; trailing letter",
      "size=0x10; hexadecimal",
      "size=9223372036854775808; overflow",
      "size=99999999999999999999999999; overflow",
      "modify=2026121010155; short",
      "modify=202612101015591; odd digit",
      "modify=20261210101559.; empty fraction",
      "modify=20261210101559,5; comma",
      "modify=2026121010155x; letter",
      "modify=20261310101559; month 13",
      "modify=20260010101559; month 0",
      "modify=20260230101559; Feb 30",
      "modify=20250229101559; Feb 29 in a common year",
      "modify=20261200101559; day 0",
      "modify=20261210241559; hour 24",
      "modify=20261210106059; minute 60",
      "modify=20261210101561; second 61",
      "modify=-0261210101559; sign",
      "-rw-r--r--   1 root     root           12 Dec 10 11:43 a.txt",
      "12-10-26  10:15AM       <DIR>          Name",
  };
  for (std::string_view line : lines) {
    SCOPED_TRACE(std::string(line));
    EXPECT_FALSE(ParseMlsdLine(line).has_value());
  }
}

// ---- LIST, Unix form ----

TEST(FtpListingUnix, ParsesLines) {
  const Case cases[] = {
      // As pyftpdlib sends them (now is 2026-12-10 11:43:50 UTC).
      {"-rw-r--r--   1 root     root            1 Dec 10 11:43 Gr\303\274\303\237e  zwei "
       "Blanks.txt\r\n",
       {"Gr\303\274\303\237e  zwei Blanks.txt", kFile, 1, At(2026, 12, 10, 11, 43)}},
      {"drwxr-xr-x   2 root     root         4096 Dec 10 10:15 Neuer Ordner\r\n",
       {"Neuer Ordner", kDir, 4096, At(2026, 12, 10, 10, 15)}},
      {"-rw-r--r--   1 root     root            0 Mar 05  2024 alt.dat\r\n",
       {"alt.dat", kFile, 0, At(2024, 3, 5)}},
      {"lrwxrwxrwx   1 root     root            5 Dec 10 11:43 link -> a.txt\r\n",
       {"link", kOther, 5, At(2026, 12, 10, 11, 43)}},
      // ls: blank-padded days, ACL marks, numeric owners, no group.
      {"-rw-r--r--  1 ftp ftp 5000000000 Dec  1 09:05 big.iso",
       {"big.iso", kFile, 5000000000, At(2026, 12, 1, 9, 5)}},
      {"-rw-r--r--+ 1 ftp ftp 7 Jan  2  2020 acl", {"acl", kFile, 7, At(2020, 1, 2)}},
      {"drwxr-xr-x. 2 1000 1000 4096 DEC 10 10:15 selinux",
       {"selinux", kDir, 4096, At(2026, 12, 10, 10, 15)}},
      {"-rw-r--r-- 1 ftp 1234 Nov 30 23:59 nogroup.zip",
       {"nogroup.zip", kFile, 1234, At(2026, 11, 30, 23, 59)}},
      {"-rw-r--r-- 1 Dec 10 12 Dec 10 10:15 odd owner",
       {"odd owner", kFile, 12, At(2026, 12, 10, 10, 15)}},
      {"prw-r--r-- 1 a b 0 Dec 10 10:15 fifo", {"fifo", kOther, 0, At(2026, 12, 10, 10, 15)}},
      {"drwxr-xr-x 2 a b 4096 Dec 10 10:15 .",
       {".", kDir, 4096, At(2026, 12, 10, 10, 15), FtpNameKind::SelfOrParent}},
      {"drwxr-xr-x 2 a b 4096 Dec 10 10:15 ..",
       {"..", kDir, 4096, At(2026, 12, 10, 10, 15), FtpNameKind::SelfOrParent}},
      // The name starts after one blank; all further blanks belong to it.
      {"-rw-r--r-- 1 a b 3 Dec 10 10:15  leading",
       {" leading", kFile, 3, At(2026, 12, 10, 10, 15)}},
      {"-rw-r--r-- 1 a b 3 Jan 01  1999 two  blanks ", {"two  blanks ", kFile, 3, At(1999, 1, 1)}},
      {"-rw-r--r-- 1 a b 3 Dec 10 10:15 Jan 01 10:00 x",
       {"Jan 01 10:00 x", kFile, 3, At(2026, 12, 10, 10, 15)}},
      // Only links lose the part after the arrow.
      {"-rw-r--r-- 1 a b 3 Dec 10 10:15 a -> b", {"a -> b", kFile, 3, At(2026, 12, 10, 10, 15)}},
      {"lrwxrwxrwx 1 a b 3 Dec 10 10:15 my link -> x -> y",
       {"my link", kOther, 3, At(2026, 12, 10, 10, 15)}},
      {"-rw-r--r-- 1 a b 3 Feb 29  2024 leap", {"leap", kFile, 3, At(2024, 2, 29)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.line));
    ExpectEntry(ParseListLine(c.line, kNow), c.expected);
  }
}

TEST(FtpListingUnix, GivesYearlessDatesTheYearWithinHalfAYear) {
  struct YearCase {
    DateTimeParts now;
    std::string_view date;
    int year;
  };
  const YearCase cases[] = {
      {At(2026, 12, 10, 11, 43), "Dec 10 11:43", 2026},
      {At(2026, 12, 10, 11, 43), "Jun 15 08:00", 2026},  // half a year ago
      {At(2026, 12, 10, 11, 43), "Dec 31 23:59", 2026},  // a few weeks ahead
      {At(2027, 1, 5, 9, 0), "Dec 20 10:00", 2026},      // late last year
      {At(2027, 1, 5, 9, 0), "Jan 05 10:00", 2027},
      {At(2027, 1, 5, 9, 0), "Mar 01 10:00", 2027},  // ahead, as pyftpdlib shows future files
      {At(2026, 1, 5, 9, 0), "Jul 01 10:00", 2026},  // 177 days ahead
      {At(2026, 1, 5, 9, 0), "Aug 01 10:00", 2025},  // 208 days ahead
      {At(2028, 8, 1, 9, 0), "Feb 29 10:00", 2028},
  };
  for (const YearCase& c : cases) {
    const std::string line = "-rw-r--r-- 1 a b 1 " + std::string(c.date) + " f";
    SCOPED_TRACE(line + " now " + Describe(c.now));
    const auto entry = ParseListLine(line, c.now);
    ASSERT_TRUE(entry.has_value());
    ASSERT_TRUE(entry->modifiedUtc.has_value());
    EXPECT_EQ(entry->modifiedUtc->year, c.year);
  }
}

// ---- LIST, DOS form ----

TEST(FtpListingDos, ParsesLines) {
  const Case cases[] = {
      {"12-10-26  10:15AM       <DIR>          Name", {"Name", kDir, 0, At(2026, 12, 10, 10, 15)}},
      {"12-10-2026  22:15  1234 Name", {"Name", kFile, 1234, At(2026, 12, 10, 22, 15)}},
      {"01-02-99  12:00AM                    5 midnight", {"midnight", kFile, 5, At(1999, 1, 2)}},
      {"01-02-70  12:30PM                    5 noon", {"noon", kFile, 5, At(1970, 1, 2, 12, 30)}},
      {"01-02-69  11:59PM                    5 late", {"late", kFile, 5, At(2069, 1, 2, 23, 59)}},
      {"02-29-24  01:00am                    5 lower", {"lower", kFile, 5, At(2024, 2, 29, 1, 0)}},
      {"12-10-26  10:15PM             12345678 with  two blanks \r\n",
       {"with  two blanks ", kFile, 12345678, At(2026, 12, 10, 22, 15)}},
      {"12-10-26  10:15AM       <DIR>          .",
       {".", kDir, 0, At(2026, 12, 10, 10, 15), FtpNameKind::SelfOrParent}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.line));
    ExpectEntry(ParseListLine(c.line, kNow), c.expected);
  }
}

// ---- LIST, unsafe and malformed ----

TEST(FtpListingList, FlagsUnsafeNames) {
  const std::string_view lines[] = {
      "-rw-r--r-- 1 a b 1 Dec 10 10:15",
      "-rw-r--r-- 1 a b 1 Dec 10 10:15 ",
      "-rw-r--r-- 1 a b 1 Dec 10 10:15 a/b",
      "-rw-r--r-- 1 a b 1 Dec 10 10:15 ..\\x",
      "-rw-r--r-- 1 a b 1 Dec 10 10:15 nul\0byte"sv,
      "lrwxrwxrwx 1 a b 1 Dec 10 10:15  -> target",
      "12-10-26  10:15AM       <DIR>",
      "12-10-26  10:15AM       <DIR>          sub\\dir",
      "12-10-26  10:15AM       7 /abs",
  };
  for (std::string_view line : lines) {
    SCOPED_TRACE(std::string(line));
    const auto entry = ParseListLine(line, kNow);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->nameKind, FtpNameKind::Unsafe);
  }
}

TEST(FtpListingList, RejectsMalformedLines) {
  const std::string_view lines[] = {
      "",
      "\r\n",
      "   ",
      "total 12",
      "total 0",
      "garbage line with words",
      "-rw-r--r--",
      "-rw-r--r-- 1 a b 12",
      "-rw-r--r-- 1 a b 12 Dec 10",
      "-rw-r--r-- 1 a b 12 Foo 10 10:15 bad month",
      "-rw-r--r-- 1 a b 12 Dec 32 10:15 day 32",
      "-rw-r--r-- 1 a b 12 Dec 0 10:15 day 0",
      "-rw-r--r-- 1 a b 12 Dec 010 10:15 long day",
      "-rw-r--r-- 1 a b 12 Feb 30  2026 Feb 30",
      "-rw-r--r-- 1 a b 12 Feb 29  2025 Feb 29 in a common year",
      "-rw-r--r-- 1 a b 12 Dec 10 24:00 hour 24",
      "-rw-r--r-- 1 a b 12 Dec 10 10:60 minute 60",
      "-rw-r--r-- 1 a b 12 Dec 10 1:5 short minute",
      "-rw-r--r-- 1 a b 12 Dec 10 :15 no hour",
      "-rw-r--r-- 1 a b 12 Dec 10 100:15 long hour",
      "-rw-r--r-- 1 a b 12 Dec 10 20260 long year",
      "-rw-r--r-- 1 a b 12 Dec 10 0000 year 0",
      "-rw-r--r-- 1 a b -12 Dec 10 10:15 negative",
      "-rw-r--r-- 1 a b 12a Dec 10 10:15 letter",
      "xrw-r--r-- 1 a b 12 Dec 10 10:15 bad type",
      "-rw-r--r-q 1 a b 12 Dec 10 10:15 bad mode",
      "-rw-r--r--++ 1 a b 12 Dec 10 10:15 long mode",
      "-rw-r-- 1 a b 12 Dec 10 10:15 short mode",
      "13-10-26  10:15AM       <DIR>          month 13",
      "02-30-26  10:15AM       <DIR>          Feb 30",
      "12-10-26  13:15PM       <DIR>          13 PM",
      "12-10-26  00:15AM       <DIR>          0 AM",
      "12-10-26  24:15       <DIR>          hour 24",
      "12-10-26  10:15XM       <DIR>          XM",
      "12-10-26  10:15AM       <FILE>         unknown kind",
      "12-10-26  10:15AM       -1             negative",
      "12-10-26  10:15AM       1,234          separator",
      "12/10/26  10:15AM       <DIR>          slashes",
      "12-10-026  10:15AM       <DIR>          three-digit year",
      "12-10-26  10:15AM",
      "12-10-26",
  };
  for (std::string_view line : lines) {
    SCOPED_TRACE(std::string(line));
    EXPECT_FALSE(ParseListLine(line, kNow).has_value());
  }
}

// A LIST line that is an entry but whose size does not fit must not pass for
// a heading: the walk would skip the file and keep it old.
TEST(FtpListingList, NotesSizesThatDoNotFit) {
  struct SizeCase {
    std::string_view line;
    bool fits;
    std::int64_t size;
  };
  const SizeCase cases[] = {
      {"-rw-r--r-- 1 a b 9223372036854775807 Dec 10 10:15 largest", true, INT64_MAX},
      {"-rw-r--r-- 1 a b 9223372036854775808 Dec 10 10:15 past 63 bits", false, 0},
      {"-rw-r--r-- 1 a b 18446744073709551616 Dec 10 10:15 past 64 bits", false, 0},
      {"-rw-r--r-- 1 a b 99999999999999999999 Dec 10 10:15 overflow", false, 0},
      {"12-10-26  10:15AM  9223372036854775807 largest", true, INT64_MAX},
      {"12-10-26  10:15AM  18446744073709551616 past 64 bits", false, 0},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(std::string(c.line));
    const auto entry = ParseListLine(c.line, kNow);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->sizeFits, c.fits);
    EXPECT_EQ(entry->size, c.size);
    EXPECT_EQ(entry->type, kFile);
    EXPECT_EQ(entry->nameKind, FtpNameKind::Plain);
  }
  // In owner or group it is no size: the real one follows.
  const auto owner = ParseListLine("-rw-r--r-- 1 18446744073709551616 b 7 Dec 10 10:15 f", kNow);
  ASSERT_TRUE(owner.has_value());
  EXPECT_TRUE(owner->sizeFits);
  EXPECT_EQ(owner->size, 7);
}

// ---- Hostile input ----

// Every prefix of every sample and random lines from the characters listings
// are made of: no crash, no read past the line (with sanitizers), and no
// unsafe name passed off as Plain.
TEST(FtpListingHostile, PrefixesAndRandomLinesAreHandled) {
  const std::string_view samples[] = {
      "modify=20261210101559.123;perm=radfw;size=12;type=file;unique=fe00ga74a09; a b.txt\r\n",
      "type=OS.unix=slink:/x;size=1; l",
      "lrwxrwxrwx   1 root     root            5 Dec 10 11:43 link -> a.txt\r\n",
      "-rw-r--r--+  1 ftp ftp 5000000000 Dec  1  2020 big/iso",
      "12-10-2026  10:15PM             12345678 with  two blanks \r\n",
  };
  for (std::string_view sample : samples) {
    for (std::size_t length = 0; length <= sample.size(); ++length) {
      const std::string prefix(sample.substr(0, length));
      ExpectPlainNameSafe(ParseMlsdLine(prefix));
      ExpectPlainNameSafe(ParseListLine(prefix, kNow));
    }
  }

  constexpr std::string_view kAlphabet =
      "0123456789-:;=. /\\\0\r\nAPMDecJanrwxld<DIR>typesizmofl"sv;
  std::mt19937 random(20261210);
  std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
  std::uniform_int_distribution<int> length(0, 80);
  for (int i = 0; i < 3000; ++i) {
    std::string line;
    for (int n = length(random); n > 0; --n) line += kAlphabet[pick(random)];
    ExpectPlainNameSafe(ParseMlsdLine(line));
    ExpectPlainNameSafe(ParseListLine(line, kNow));
  }
}

}  // namespace
