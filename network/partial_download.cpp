#include "download/partial_download.h"

#include <algorithm>

#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/own_folder.h"
#include "platform/paths.h"
#include "platform/replacing_write.h"
#include "platform/retry.h"
#include "platform/whole_file.h"
#include "run/run_folders.h"

namespace {

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

}  // namespace

PartialDownload::PartialDownload(const std::string& downloadFolder, const std::string& target)
    : folder_(PartialDownloadsOf(downloadFolder)),
      bytes_(folder_ + NameFor(target)),
      validator_(bytes_ + ".validator"),
      target_(target) {}

std::FILE* PartialDownload::Open(std::int64_t expectedSize, HttpResume& resume) {
  // The kept bytes become part of what is installed, like the download folder's.
  if (PrepareOwnFolder(folder_) != OwnFolder::Ready) return nullptr;
  const std::int64_t kept = std::max<std::int64_t>(GetFileSizeByName(bytes_), 0);
  const std::string validator = ReadWholeFile(validator_).value_or("");
  std::FILE* file = OpenFile(bytes_, FileOpenMode::Append);
  if (file == nullptr) return nullptr;
  resume = {};
  if (kept > 0 && !validator.empty() && expectedSize != kAnySize && kept < expectedSize) {
    resume = {kept, validator};
  } else if (kept > 0 && !TruncateFile(file, 0)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

void PartialDownload::Keep(const std::optional<std::string>& validator) {
  if (!validator) return;  // no body reached the bytes: their validator holds
  if (validator->empty() || !WriteFileReplacing(validator_, *validator)) {
    DeleteFileWithRetries(validator_);  // bytes nothing vouches for are not resumed
  }
}

bool PartialDownload::Complete() {
  if (!ReplaceFileWith(bytes_, target_)) return false;
  DeleteFileWithRetries(validator_);
  return true;
}

bool PartialDownload::HashKept(Sha256& hash, std::int64_t length) const {
  return AddFileToHash(hash, bytes_, length);
}

void PartialDownload::Discard() {
  DeleteFileWithRetries(bytes_);
  DeleteFileWithRetries(validator_);
}

void RemovePartialDownloads(const std::string& downloadFolder) {
  RemoveFolderOfFiles(PartialDownloadsOf(downloadFolder));
}
