// Parsers of single lines of FTP folder listings: MLSD facts, and the Unix
// and DOS (IIS) forms servers give for LIST. A line is one entry without its
// line end; a trailing CR or LF is tolerated.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/date_time.h"
#include "network/ftp_client.h"

// What a listed name means to a walk that builds local paths from it.
enum class FtpNameKind {
  Plain,
  SelfOrParent,  // ".", "..", or an MLSD cdir/pdir entry: to be skipped
  Unsafe,        // empty or holding "/", "\" or NUL: the walk must fail
};

struct FtpListingEntry {
  // Bytes as sent (UTF-8 on a UTF-8 server), blanks kept.
  std::string name;
  // Links, devices and the like are Other.
  FtpItemType type = FtpItemType::Other;
  std::int64_t size = 0;
  // False for a LIST entry whose size is past what 63 bits hold: the walk must
  // fail rather than keep the file old. An MLSD line like it does not parse.
  bool sizeFits = true;
  // The server's time, taken as UTC; absent when an MLSD line has no modify fact.
  std::optional<DateTimeParts> modifiedUtc;
  FtpNameKind nameKind = FtpNameKind::Unsafe;
};

// "type=file;size=12;modify=20261210101559.123; name" (RFC 3659). Fact names
// and type values are compared without case; unknown facts are ignored.
// nullopt when the facts are malformed or there is no blank before the name.
std::optional<FtpListingEntry> ParseMlsdLine(std::string_view line);

// "-rw-r--r-- 1 owner group 12 Dec 10 10:15 name" or
// "12-10-26  10:15AM  <DIR>  name"; nullopt for anything else ("total 12",
// garbage); digits too large for a size still give an entry, which says so.
// nowUtc gives the year of Unix dates that show a time instead: those more
// than about six months ahead belong to the year before.
std::optional<FtpListingEntry> ParseListLine(std::string_view line, const DateTimeParts& nowUtc);
