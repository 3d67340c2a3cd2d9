// The record of what the updater installed while it held release keys: for
// each file (path relative to the installation folder, with "/") its size
// and date as installed and its SHA-256. While an installed file's size and
// date are as recorded, its recorded hash stands for its bytes, so that
// neither the walk nor the verification reads them again.
//
// The record lies in the installation folder beside the uninstall list and
// is written by the installation's journal, so it names only what landed.
// Anyone who could alter it could alter the installed files themselves: it
// adds no trust beyond the installation folder's own.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/file_info.h"

// In the installation folder, named after the first copy, so that both
// copies of the updater keep one record.
inline constexpr const char* kInstalledRecordName = "Quennvoldar.sha256";

struct RecordedFile {
  std::int64_t size = 0;
  std::string date;  // FormatDateToMillisecond
  std::string sha256;
};
using InstalledRecord = std::map<std::string, RecordedFile>;

// What the file holds; lines that do not read vouch for nothing, and a
// missing file for no file.
InstalledRecord ReadInstalledRecord(const std::string& path);
// One line a file: "<size> <date> <sha256> <path>".
std::string InstalledRecordText(const InstalledRecord& record);

// The recorded hash of the file at `path` while it has the size and date it
// was recorded with (`now`, one look at it); nullptr otherwise.
const std::string* TrustedSha256(const InstalledRecord& record, const std::string& path,
                                 const FileFacts& now);
// The file at `path`, as `facts` show it now, has these bytes.
void RecordFile(InstalledRecord& record, const std::string& path, const FileFacts& facts,
                const std::string& sha256);
