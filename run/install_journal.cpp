#include "run/install_journal.h"

#include "base/strings.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/replacing_write.h"
#include "platform/retry.h"
#include "platform/whole_file.h"

namespace {

constexpr const char* kJournalName = "journal";
// The journal's last line: a journal without it was never complete.
constexpr const char* kJournalEnd = "end";

std::string StagingFolderOf(const std::string& installFolder) {
  return installFolder + kStagingFolderName + kPathDelim;
}

// Staged name and entry per line, tab-separated; empty unless the journal is
// complete.
std::vector<std::pair<std::string, std::string>> ReadJournal(const std::string& path) {
  const std::optional<std::string> read = ReadWholeFile(path);
  std::vector<std::pair<std::string, std::string>> renames;
  if (!read) return renames;
  const std::string& bytes = *read;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) break;
    const std::string line = bytes.substr(start, end - start);
    start = end + 1;
    if (line == kJournalEnd) return renames;
    const std::size_t tab = line.find('\t');
    // Entries come from the journal this program wrote; one that would leave
    // the installation folder means the file is not ours.
    if (tab == std::string::npos || !IsContainedRelativePath(line.substr(tab + 1))) break;
    renames.emplace_back(line.substr(0, tab), line.substr(tab + 1));
  }
  return {};
}

bool ReplaceWithRetries(const std::string& from, const std::string& to) {
  for (int attempt = 1; attempt <= kFileRetryAttempts; ++attempt) {
    if (ReplaceFileWith(from, to)) return true;
    // A folder in the file's place can never be replaced by a file.
    if (DirectoryExists(to)) return false;
    if (attempt < kFileRetryAttempts) PauseAnsweringMs(kFileRetryPauseMs);
  }
  return false;
}

// The staged files go into place. Returns the entries whose place could not
// be taken. A commit knows every file is staged and its place prepared; a
// recovery finds some renamed before the kill, and places as the killed run
// left them.
std::vector<std::string> RenameAll(const std::string& installFolder,
                                   const std::string& stagingFolder,
                                   const std::vector<std::pair<std::string, std::string>>& renames,
                                   bool recovering) {
  std::vector<std::string> failed;
  for (const auto& [staged, entry] : renames) {
    const std::string from = stagingFolder + staged;
    const std::string to = installFolder + entry;
    if (recovering) {
      if (!FileExists(from)) continue;
      ForceDirectories(ExtractFilePath(to));
      if (FileExists(to)) ClearFileAttributes(to);
    }
    if (!ReplaceWithRetries(from, to)) failed.push_back(entry);
  }
  return failed;
}

}  // namespace

InstallJournal::InstallJournal(std::string installFolder)
    : installFolder_(std::move(installFolder)), stagingFolder_(StagingFolderOf(installFolder_)) {}

std::FILE* InstallJournal::Stage(const std::string& entry, std::string& stagedPath) {
  // The place is prepared now, so that a commit is no more than renames: its
  // folder made, a read-only file there made writable. A folder in the place,
  // or a file where its folder goes, can never be replaced.
  const std::string place = installFolder_ + entry;
  if (!ForceDirectories(ExtractFilePath(place)) || DirectoryExists(place)) return nullptr;
  ClearFileAttributes(place);
  if (renames_.empty() && !ForceDirectories(stagingFolder_)) return nullptr;
  const std::string name = std::to_string(renames_.size());
  stagedPath = stagingFolder_ + name;
  std::FILE* stream = OpenFile(stagedPath, FileOpenMode::CreateNew);
  if (stream != nullptr) renames_.emplace_back(name, entry);
  return stream;
}

void InstallJournal::DiscardLast() {
  if (renames_.empty()) return;
  DeleteFileWithRetries(stagingFolder_ + renames_.back().first);
  renames_.pop_back();
}

std::vector<std::string> InstallJournal::Commit() {
  if (renames_.empty()) return {};
  std::string journal;
  for (const auto& [staged, entry] : renames_) journal += staged + "\t" + entry + "\n";
  journal += std::string(kJournalEnd) + "\n";
  // The staged files are durable before the journal names them, and the
  // journal before the first rename.
  if (!FlushFolderToDisk(stagingFolder_) ||
      !WriteFileReplacing(stagingFolder_ + kJournalName, journal)) {
    std::vector<std::string> entries;
    for (const auto& rename : renames_) entries.push_back(rename.second);
    Abandon();
    return entries;
  }
  std::vector<std::string> failed =
      RenameAll(installFolder_, stagingFolder_, renames_, /*recovering=*/false);
  // The renames are durable before the journal goes (one file system).
  FlushFolderToDisk(stagingFolder_);
  RemoveFolderOfFiles(stagingFolder_);
  renames_.clear();
  return failed;
}

void InstallJournal::Abandon() {
  RemoveFolderOfFiles(stagingFolder_);
  renames_.clear();
}

bool RecoverInstallation(const std::string& installFolder) {
  const std::string stagingFolder = StagingFolderOf(installFolder);
  if (!DirectoryExists(stagingFolder)) return true;
  RenameAll(installFolder, stagingFolder, ReadJournal(stagingFolder + kJournalName),
            /*recovering=*/true);
  RemoveFolderOfFiles(stagingFolder);
  return !DirectoryExists(stagingFolder);
}
