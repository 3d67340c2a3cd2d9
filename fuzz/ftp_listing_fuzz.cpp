// One line of an FTP folder listing, read as MLSD and as LIST. The first
// bytes choose the "now" that Unix dates without a year are judged against.
#include <cstdint>

#include "fuzz_support.h"
#include "network/ftp_listing.h"

namespace {

bool IsValidDate(const DateTimeParts& p) {
  return p.year >= 1 && p.year <= 9999 && p.month >= 1 && p.month <= 12 && p.day >= 1 &&
         p.day <= 31 && p.hour >= 0 && p.hour <= 23 && p.minute >= 0 && p.minute <= 59 &&
         p.second >= 0 && p.second <= 59 && p.millisecond >= 0 && p.millisecond <= 999;
}

// A walk builds local paths from names it takes as Plain.
void CheckEntry(const FtpListingEntry& entry, std::string_view line) {
  Require(entry.size >= 0, "negative size");
  if (entry.modifiedUtc) {
    Require(IsValidDate(*entry.modifiedUtc), "impossible date");
    const DateTimeParts back = DecodeDateTime(EncodeDateTime(*entry.modifiedUtc));
    Require(back.year == entry.modifiedUtc->year && back.month == entry.modifiedUtc->month &&
                back.day == entry.modifiedUtc->day,
            "date does not survive encoding");
  }
  Require(line.find(entry.name) != std::string_view::npos, "name is no part of the line");
  if (entry.nameKind == FtpNameKind::Plain) {
    Require(!entry.name.empty() && entry.name != "." && entry.name != ".." &&
                entry.name.find_first_of(std::string_view("/\\\0", 3)) == std::string::npos,
            "unsafe name taken as plain: " + entry.name);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  DateTimeParts now;
  now.year = 1980 + data[0] % 120;
  now.month = 1 + data[1] % 12;
  now.day = 1 + data[2] % 28;
  now.hour = data[2] % 24;
  const std::string_view line = AsText(data + 3, size - 3);

  if (const auto entry = ParseMlsdLine(line)) {
    CheckEntry(*entry, line);
    // Skipped entries are "." and "..", or cdir and pdir, whatever name they carry.
    Require(entry->nameKind != FtpNameKind::SelfOrParent || entry->name == "." ||
                entry->name == ".." || entry->type == FtpItemType::Directory,
            "an entry skipped for no reason: " + entry->name);
  }
  if (const auto entry = ParseListLine(line, now)) {
    CheckEntry(*entry, line);
    Require(entry->modifiedUtc.has_value(), "LIST entry without a date");
  }
  return 0;
}
