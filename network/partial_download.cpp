#include "network/partial_download.h"

#include <algorithm>
#include <optional>
#include <sstream>
#include <utility>

#include "platform/clock.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/own_folder.h"
#include "platform/replacing_write.h"
#include "platform/retry.h"
#include "platform/system_failure.h"
#include "platform/whole_file.h"

namespace {

// Closed beside the window; smaller files close at once, sparing a thread.
constexpr std::int64_t kLargeFileBytes = 16 * 1024 * 1024;

// FNV-1a of the file's place: a short name whatever the place's length.
std::string NameFor(const std::string& target) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : target) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  static const char kHex[] = "0123456789abcdef";
  std::string name(16, '0');
  for (int i = 15; i >= 0; --i, hash >>= 4) name[static_cast<std::size_t>(i)] = kHex[hash & 15];
  return name;
}

struct Record {
  HttpResume kept;
  std::string digest;
};

// One line each: validator, whole size, length, digest.
std::optional<Record> ReadRecord(const std::string& path) {
  const std::optional<std::string> text = ReadWholeFile(path);
  if (!text) return std::nullopt;
  std::istringstream lines(*text);
  Record record;
  std::string total;
  std::string length;
  if (!std::getline(lines, record.kept.validator) || !std::getline(lines, total) ||
      !std::getline(lines, length) || !std::getline(lines, record.digest)) {
    return std::nullopt;
  }
  try {
    record.kept.total = std::stoll(total);
    record.kept.offset = std::stoll(length);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  return record;
}

}  // namespace

PartialDownload::PartialDownload(const std::string& keptFolder, const std::string& target)
    : folder_(keptFolder),
      bytes_(folder_ + NameFor(target)),
      record_(bytes_ + ".resume"),
      target_(target) {}

PartialDownload::~PartialDownload() {
  if (file_ != nullptr) std::fclose(file_);
}

std::optional<Failure> PartialDownload::Open(std::int64_t listedSize, HttpResume& resume,
                                             Sha256& hash) {
  // The kept bytes become part of what is installed, like the download folder's.
  switch (PrepareOwnFolder(folder_)) {
    case OwnFolder::Ready:
      break;
    case OwnFolder::NotOwn:
      return Failure{FailureKind::Access, FailureCode::None, 0,
                     "use folder",        folder_,           "not the updater's own"};
    case OwnFolder::Failed:
      return LastSystemFailure("make folder", folder_);
  }
  resume = {};
  hash = Sha256();
  const std::int64_t length = std::max<std::int64_t>(GetFileSizeByName(bytes_), 0);
  const std::optional<Record> record = ReadRecord(record_);
  if (record && record->kept.offset == length && record->kept.Continuable() &&
      (listedSize == kAnySize || listedSize == record->kept.total)) {
    // Read once: the check of the bytes is the start of the file's hash.
    Sha256 keptHash;
    if (AddFileToHash(keptHash, bytes_, length) && keptHash.HexDigest() == record->digest) {
      resume = record->kept;
      hash = keptHash;
    }
  }
  file_ = OpenFile(bytes_, FileOpenMode::Append);
  if (file_ == nullptr) return LastSystemFailure("open", bytes_);
  if (!resume.Continuable()) {
    DeleteFileWithRetries(record_);
    if (length > 0 && !TruncateFile(file_, 0)) return LastSystemFailure("write", bytes_);
  }
  return std::nullopt;
}

HttpResume PartialDownload::Keep(const HttpResume& kept, const Sha256& hash) {
  const bool stored = std::fflush(file_) == 0 && std::ferror(file_) == 0;
  if (stored && kept.Continuable() && WriteRecord(kept, hash.HexDigest())) return kept;
  // Bytes nothing vouches for are not continued.
  DeleteFileWithRetries(record_);
  std::clearerr(file_);
  TruncateFile(file_, 0);
  return {};
}

bool PartialDownload::WriteRecord(const HttpResume& kept, const std::string& digest) const {
  return WriteFileReplacing(record_, kept.validator + "\n" + std::to_string(kept.total) + "\n" +
                                         std::to_string(kept.offset) + "\n" + digest + "\n");
}

std::optional<Failure> PartialDownload::Complete(bool durable) {
  // A large file may take the disk a second or more to take in, at the flush
  // or at the close (where the file system writes out a file written anew).
  // The error is read on the thread that met it.
  std::FILE* file = std::exchange(file_, nullptr);
  std::optional<Failure> failure;
  const auto close = [&] {
    if (durable && !FlushFileToDisk(file)) failure = LastSystemFailure("write", bytes_);
    if (std::fclose(file) != 0 && !failure) failure = LastSystemFailure("write", bytes_);
    return !failure;
  };
  if (GetFileSizeByName(bytes_) >= kLargeFileBytes) {
    AnswerWhileWaitingFor(close);
  } else {
    close();
  }
  if (failure) return failure;
  if (!MoveFileReplacing(bytes_, target_)) return LastSystemFailure("put in place", target_);
  DeleteFileWithRetries(record_);
  return std::nullopt;
}

void PartialDownload::Discard() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  DeleteFileWithRetries(bytes_);
  DeleteFileWithRetries(record_);
}
