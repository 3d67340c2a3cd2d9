#include "run/install_journal.h"

#include <optional>
#include <utility>

#include "base/strings.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/replacing_write.h"
#include "platform/retry.h"
#include "platform/whole_file.h"

namespace {

using Rename = InstallJournal::Rename;

constexpr const char* kJournalName = "journal";
// The journal's last line: a journal without it was never complete.
constexpr const char* kJournalEnd = "end";
// The staged name of the file that lands last; the others are numbers.
constexpr const char* kLastName = "last";

std::string StagingFolderOf(const std::string& installFolder) {
  return installFolder + kStagingFolderName + kPathDelim;
}

std::string JournalLine(const std::string& staged, const std::string& entry) {
  return staged + "\t" + entry + "\n";
}

struct Journal {
  std::vector<Rename> renames;
  std::string last;  // the entry that lands last, if any
  bool complete = false;
};

// Staged name and entry per line, tab-separated, then the end line; what
// follows a line that does not read counts as never written.
Journal ReadJournal(const std::string& path) {
  const std::optional<std::string> read = ReadWholeFile(path);
  Journal journal;
  if (!read) return journal;
  const std::string& bytes = *read;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) break;
    const std::string line = bytes.substr(start, end - start);
    start = end + 1;
    if (line == kJournalEnd) {
      journal.complete = true;
      break;
    }
    const std::size_t tab = line.find('\t');
    // Entries come from the journal this program wrote; one that would leave
    // the installation folder means the file is not ours.
    if (tab == std::string::npos || !IsContainedRelativePath(line.substr(tab + 1))) {
      return {};
    }
    if (line.substr(0, tab) == kLastName) {
      journal.last = line.substr(tab + 1);
    } else {
      journal.renames.push_back({line.substr(0, tab), line.substr(tab + 1)});
    }
  }
  return journal;
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

// The staged files go into place. Returns those whose place could not be
// taken. A commit knows every file is staged and its place prepared; a
// recovery finds some renamed before the kill, and places as the killed run
// left them.
std::vector<Rename> RenameAll(const std::string& installFolder, const std::string& stagingFolder,
                              const std::vector<Rename>& renames, bool recovering) {
  std::vector<Rename> failed;
  for (const Rename& rename : renames) {
    const std::string from = stagingFolder + rename.staged;
    const std::string to = installFolder + rename.entry;
    if (recovering) {
      if (!FileExists(from)) continue;
      ForceDirectories(ExtractFilePath(to));
      if (FileExists(to)) ClearFileAttributes(to);
    }
    if (!ReplaceWithRetries(from, to)) failed.push_back(rename);
  }
  return failed;
}

// The file that lands last, when everything before it has; otherwise (and
// when it cannot) neither it nor the one in its place stays.
void LandLast(const std::string& installFolder, const std::string& stagingFolder,
              const std::string& entry, bool everythingLanded) {
  if (entry.empty()) return;
  const std::string staged = stagingFolder + kLastName;
  if (!FileExists(staged)) return;  // landed before a kill
  if (everythingLanded && ReplaceWithRetries(staged, installFolder + entry)) return;
  DeleteFileWithRetries(staged);
  DeleteFileWithRetries(installFolder + entry);
}

// A staged file whose download is gone was moved in: it goes back there. One
// whose download is still there was copied.
void GiveBack(const std::string& stagingFolder, const std::string& downloadFolder,
              const std::vector<Rename>& renames) {
  if (downloadFolder.empty()) return;
  for (const Rename& rename : renames) {
    const std::string staged = stagingFolder + rename.staged;
    const std::string download = downloadFolder + rename.entry;
    if (!FileExists(staged) || FileExists(download)) continue;
    ForceDirectories(ExtractFilePath(download));
    MoveFileWithin(staged, download);
  }
}

}  // namespace

InstallJournal::InstallJournal(std::string installFolder, std::string downloadFolder)
    : installFolder_(std::move(installFolder)),
      downloadFolder_(std::move(downloadFolder)),
      stagingFolder_(StagingFolderOf(installFolder_)) {}

void InstallJournal::Plan(std::vector<std::string> entries) { plan_ = std::move(entries); }

bool InstallJournal::Reserve(const std::string& entry, bool placeReady, std::string& stagedPath) {
  // The place is prepared now, so that a commit is no more than renames: its
  // folder made, a read-only file there made writable. A folder in the place,
  // or a file where its folder goes, can never be replaced.
  if (!placeReady) {
    const std::string place = installFolder_ + entry;
    if (!ForceDirectories(ExtractFilePath(place)) || DirectoryExists(place)) return false;
    ClearFileAttributes(place);
  }
  if (renames_.empty() && !ForceDirectories(stagingFolder_)) return false;
  // The name is the entry's place in the plan.
  const std::string name = std::to_string(reserved_++);
  stagedPath = stagingFolder_ + name;
  renames_.push_back({name, entry});
  return true;
}

bool InstallJournal::WritePlan() {
  if (planState_ == PlanState::NotWritten) {
    std::string plan;
    for (std::size_t index = 0; index < plan_.size(); ++index) {
      plan += JournalLine(std::to_string(index), plan_[index]);
    }
    planState_ = WriteFileReplacing(stagingFolder_ + kJournalName, plan) ? PlanState::Written
                                                                         : PlanState::Failed;
  }
  return planState_ == PlanState::Written;
}

bool InstallJournal::MoveDownloadIn() {
  const Rename& last = renames_.back();
  const std::size_t index = reserved_ - 1;
  if (downloadFolder_.empty() || index >= plan_.size() || plan_[index] != last.entry ||
      !WritePlan()) {
    return false;
  }
  return MoveFileWithin(downloadFolder_ + last.entry, stagingFolder_ + last.staged);
}

std::FILE* InstallJournal::CreateStaged() {
  return OpenFile(stagingFolder_ + renames_.back().staged, FileOpenMode::CreateNew);
}

void InstallJournal::DiscardLast() {
  if (renames_.empty()) return;
  GiveBack(stagingFolder_, downloadFolder_, {renames_.back()});
  DeleteFileWithRetries(stagingFolder_ + renames_.back().staged);
  renames_.pop_back();
}

bool InstallJournal::StageLast(const std::string& entry, std::string_view bytes) {
  if (renames_.empty()) return false;
  std::FILE* stream = OpenFile(stagingFolder_ + kLastName, FileOpenMode::CreateNew);
  if (stream == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
  if (std::fclose(stream) != 0 || !written) {
    DeleteFileWithRetries(stagingFolder_ + kLastName);
    return false;
  }
  ClearFileAttributes(installFolder_ + entry);
  last_ = entry;
  return true;
}

std::vector<std::string> InstallJournal::Commit() {
  if (renames_.empty()) return {};
  std::string journal;
  for (const Rename& rename : renames_) journal += JournalLine(rename.staged, rename.entry);
  if (!last_.empty()) journal += JournalLine(kLastName, last_);
  journal += std::string(kJournalEnd) + "\n";
  // The staged files are durable before the journal names them, and the
  // journal before the first rename.
  if (!FlushFolderToDisk(stagingFolder_) ||
      !WriteFileReplacing(stagingFolder_ + kJournalName, journal)) {
    std::vector<std::string> entries;
    for (const Rename& rename : renames_) entries.push_back(rename.entry);
    Abandon();
    return entries;
  }
  const std::vector<Rename> failed =
      RenameAll(installFolder_, stagingFolder_, renames_, /*recovering=*/false);
  // Settled before anything that did not land leaves the staging folder.
  LandLast(installFolder_, stagingFolder_, last_, failed.empty());
  GiveBack(stagingFolder_, downloadFolder_, failed);
  // The renames are durable before the journal goes (one file system).
  FlushFolderToDisk(stagingFolder_);
  RemoveFolderOfFiles(stagingFolder_);
  renames_.clear();
  last_.clear();
  std::vector<std::string> entries;
  for (const Rename& rename : failed) entries.push_back(rename.entry);
  return entries;
}

void InstallJournal::Abandon() {
  GiveBack(stagingFolder_, downloadFolder_, renames_);
  RemoveFolderOfFiles(stagingFolder_);
  renames_.clear();
  last_.clear();
}

bool RecoverInstallation(const std::string& installFolder, const std::string& downloadFolder) {
  const std::string stagingFolder = StagingFolderOf(installFolder);
  if (!DirectoryExists(stagingFolder)) return true;
  const Journal journal = ReadJournal(stagingFolder + kJournalName);
  std::vector<Rename> notLanded = journal.renames;
  if (journal.complete) {
    notLanded = RenameAll(installFolder, stagingFolder, journal.renames, /*recovering=*/true);
    LandLast(installFolder, stagingFolder, journal.last, notLanded.empty());
  }
  GiveBack(stagingFolder, downloadFolder, notLanded);
  RemoveFolderOfFiles(stagingFolder);
  return !DirectoryExists(stagingFolder);
}
