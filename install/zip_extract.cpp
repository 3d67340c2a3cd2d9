#include "install/zip_extract.h"

#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "base/text_codec.h"
#include "platform/clock.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/local_time.h"
#include "platform/paths.h"
#include "platform/retry.h"

namespace {

constexpr std::size_t kBlockSize = 65536;
constexpr zip_uint32_t kDosReadOnly = 0x01;

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

struct EntryCloser {
  void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};
using EntryStream = std::unique_ptr<zip_file_t, EntryCloser>;

struct Entry {
  zip_uint64_t index = 0;
  std::string name;  // native separators, relative to the target folder
  bool isFolder = false;
  zip_uint64_t size = 0;  // as the archive declares it
};

// ---- Opening ----

// Read through the port's own file opening, so names are UTF-8 on every
// platform; the source owns the stream from here on.
Archive OpenArchive(const std::string& path) {
  std::FILE* file = OpenFile(path, FileOpenMode::ReadDenyWrite);
  if (file == nullptr) return nullptr;
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_filep_create(file, 0, -1, &error);
  zip_t* archive = nullptr;
  if (source == nullptr) {
    std::fclose(file);
  } else {
    archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (archive == nullptr) zip_source_free(source);
  }
  zip_error_fini(&error);
  return Archive(archive);
}

// ---- Entry names and checks ----

// libzip does not show the general purpose flags. Its strict reading returns
// the stored bytes unchanged exactly when the entry is marked UTF-8 (bit 11)
// or the name is plain ASCII, where both readings agree; otherwise it would
// convert, and the name is CP437.
std::optional<std::string> DecodedName(zip_t* archive, zip_uint64_t index) {
  const char* raw = zip_get_name(archive, index, ZIP_FL_ENC_RAW);
  if (raw == nullptr) return std::nullopt;
  const std::string stored = raw;
  const char* strict = zip_get_name(archive, index, ZIP_FL_ENC_STRICT);
  if (strict == nullptr) return std::nullopt;
  return NativeSeparators(stored == strict ? SanitizeUtf8(stored) : Cp437ToUtf8(stored));
}

// The declared size of an entry whose data can be read, or nothing.
std::optional<zip_uint64_t> SupportedDataSize(zip_t* archive, zip_uint64_t index) {
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive, index, 0, &stat) != 0) return std::nullopt;
  if ((stat.valid & ZIP_STAT_COMP_METHOD) == 0 || (stat.valid & ZIP_STAT_SIZE) == 0) {
    return std::nullopt;
  }
  if (stat.comp_method != ZIP_CM_STORE && stat.comp_method != ZIP_CM_DEFLATE) return std::nullopt;
  if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && stat.encryption_method != ZIP_EM_NONE) {
    return std::nullopt;
  }
  return stat.size;
}

// Every entry checked before the first byte is written.
std::optional<std::vector<Entry>> CheckedEntries(zip_t* archive) {
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  if (count < 0) return std::nullopt;
  std::vector<Entry> entries;
  for (zip_uint64_t index = 0; index < static_cast<zip_uint64_t>(count); ++index) {
    std::optional<std::string> name = DecodedName(archive, index);
    // Absolute names, drive letters and ".." would reach outside the folder.
    if (!name || name->empty() || !IsContainedRelativePath(*name)) return std::nullopt;
    const bool isFolder = name->back() == kPathDelim;
    std::optional<zip_uint64_t> size = 0;
    if (!isFolder && !(size = SupportedDataSize(archive, index))) return std::nullopt;
    entries.push_back({index, std::move(*name), isFolder, *size});
  }
  return entries;
}

// ---- Writing one entry ----

// An entry that inflates past its declared size fails before the excess is
// written: a zip bomb cannot fill the disk beyond what the archive declares.
bool WriteEntryData(zip_t* archive, const Entry& declared, const std::string& target,
                    std::vector<char>& block) {
  EntryStream entry(zip_fopen_index(archive, declared.index, 0));
  if (!entry) return false;
  if (FileExists(target)) ClearFileAttributes(target);
  std::FILE* out = OpenFile(target, FileOpenMode::CreateExclusive);
  if (out == nullptr) return false;
  std::setvbuf(out, nullptr, _IONBF, 0);  // whole blocks go straight to the file
  bool complete = true;
  zip_uint64_t written = 0;
  for (;;) {
    // libzip checks the CRC and the size when the end is reached.
    const zip_int64_t count = zip_fread(entry.get(), block.data(), block.size());
    if (count <= 0) {
      complete = count == 0;
      break;
    }
    const auto length = static_cast<std::size_t>(count);
    written += length;
    // A cancel stops the unpacking; what was written goes with the rest.
    if (written > declared.size || std::fwrite(block.data(), 1, length, out) != length ||
        !AnswerWhileWorking()) {
      complete = false;
      break;
    }
  }
  return std::fclose(out) == 0 && complete;
}

// libzip turns the entry's DOS date-time (local time) into a time_t; the
// same local time gives the DOS fields back. Dates outside what DOS can hold
// (the zero date among them) stay unset.
std::optional<TDateTime> EntryDate(zip_t* archive, zip_uint64_t index) {
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive, index, 0, &stat) != 0 || (stat.valid & ZIP_STAT_MTIME) == 0) {
    return std::nullopt;
  }
  const DateTimeParts p = DecodeDateTime(UnixTimeToLocal(stat.mtime));
  if (p.year < 1980 || p.year > 2107) return std::nullopt;
  const auto dosDate = static_cast<std::uint16_t>(((p.year - 1980) << 9) | (p.month << 5) | p.day);
  const auto dosTime =
      static_cast<std::uint16_t>((p.hour << 11) | (p.minute << 5) | (p.second / 2));
  TDateTime date = 0;
  if (!DosDateTimeToDateTime(dosDate, dosTime, date)) return std::nullopt;
  return date;
}

bool MadeReadOnlyOnDos(zip_t* archive, zip_uint64_t index) {
  zip_uint8_t system = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0) {
    return false;
  }
  return system == ZIP_OPSYS_DOS && (attributes & kDosReadOnly) != 0;
}

// The read and execute bits of an entry made on a Unix host: a program the
// update brings stays startable. Set-id bits and writing by others never
// come from an archive.
std::optional<unsigned> UnixPermissionBits(zip_t* archive, zip_uint64_t index) {
  zip_uint8_t system = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0 ||
      system != ZIP_OPSYS_UNIX) {
    return std::nullopt;
  }
  const unsigned bits = (attributes >> 16) & 0755;
  if ((bits & 0400) == 0) return std::nullopt;  // no mode stored
  return bits;
}

}  // namespace

// ---- Extraction ----

namespace {

// What fits on the target's disk as the archive declares it; the disk's free
// space unknown counts as enough.
bool FitsOnDisk(const std::vector<Entry>& entries, const std::string& targetFolder) {
  zip_uint64_t declared = 0;
  for (const Entry& entry : entries) {
    if (entry.size > std::numeric_limits<zip_uint64_t>::max() - declared) return false;
    declared += entry.size;
  }
  const std::int64_t free = FreeDiskSpace(targetFolder);
  return free < 0 || declared <= static_cast<zip_uint64_t>(free);
}

bool WriteEntries(zip_t* archive, const std::vector<Entry>& entries,
                  const std::string& targetFolder, std::vector<std::string>& written) {
  std::vector<char> block(kBlockSize);
  for (const Entry& entry : entries) {
    const std::string target = targetFolder + entry.name;
    if (!ForceDirectories(ExtractFilePath(target))) return false;
    if (entry.isFolder) continue;
    written.push_back(target);
    if (!WriteEntryData(archive, entry, target, block)) return false;
    // The date first: setting it needs write access on Windows.
    if (const std::optional<TDateTime> date = EntryDate(archive, entry.index)) {
      SetFileDateByName(target, *date);
    }
    if (MadeReadOnlyOnDos(archive, entry.index)) SetReadOnly(target);
    if (const std::optional<unsigned> bits = UnixPermissionBits(archive, entry.index)) {
      SetPermissionBits(target, *bits);
    }
  }
  return true;
}

}  // namespace

bool ExtractZipArchive(const std::string& zipFileName, const std::string& targetFolder,
                       std::vector<std::string>& unpacked) {
  Archive archive = OpenArchive(zipFileName);
  if (!archive) return false;
  const std::optional<std::vector<Entry>> entries = CheckedEntries(archive.get());
  if (!entries || !FitsOnDisk(*entries, targetFolder)) return false;
  if (WriteEntries(archive.get(), *entries, targetFolder, unpacked)) return true;
  // Half an archive is no update: what it wrote goes.
  for (const std::string& file : unpacked) {
    ClearFileAttributes(file);
    DeleteFileWithRetries(file);
  }
  unpacked.clear();
  return false;
}
