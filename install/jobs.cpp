// The job file's lines against the installation folder: "l" deletes one file,
// "s" sweeps a folder of every file the update does not bring.
#include <optional>
#include <unordered_set>

#include "base/strings.h"
#include "install/install.h"
#include "platform/file_system.h"
#include "platform/list_file.h"
#include "platform/locale.h"
#include "platform/paths.h"
#include "platform/retry.h"

namespace install {

namespace {

struct Job {
  std::string verb;  // lower case
  std::string path;  // relative to the installation folder, native separators
};

// ---- Reading a line ----

// Verb and path, or nothing for a line that must not run: an unknown verb, a
// verb without a path, or a path that is absolute or climbs out of the
// installation folder (the job file comes from the server).
std::optional<Job> ParseJob(const std::string& line) {
  const std::vector<std::string> words = SplitWords(line);
  if (words.empty()) return std::nullopt;
  const std::string verb = LowerCaseLocale(words[0]);
  if (verb != "l" && verb != "s") return std::nullopt;
  const std::size_t pathStart = WordStart(line, 1);
  if (pathStart == std::string::npos) return std::nullopt;
  std::string path = NativeSeparators(TrimControl(line.substr(pathStart)));
  // Only control characters after the verb, or only dots, blanks and
  // separators (".\\"): the path would name the installation folder itself.
  if (path.find_first_not_of(". /\\") == std::string::npos || !IsContainedRelativePath(path)) {
    return std::nullopt;
  }
  return Job{verb, std::move(path)};
}

// ---- Carrying out ----

void DeleteTarget(const std::string& file) {
  ClearFileAttributes(file);
  if (FileExists(file)) DeleteFileWithRetries(file);
}

// Full paths in one letter case, so each file of a swept folder is one lookup.
using KeepSet = std::unordered_set<std::string>;

// Files directly in the folder only; subfolders are never entered. A path
// without the closing separator names no folder and sweeps nothing.
void SweepFolder(const std::string& folder, const KeepSet& keep) {
  if (folder.back() != kPathDelim) return;
  for (const DirEntry& entry : ListDirectory(folder)) {
    if (entry.isDirectory) continue;
    const std::string file = folder + entry.name;
    if (keep.count(UpperCaseLocale(file)) == 0) DeleteTarget(file);
  }
}

}  // namespace

void RunJobs(RunState& state) {
  if (state.JobsSl.lines.empty() || state.OrdnerFiles.empty()) return;
  // The full path every file of the update will have once installed, and
  // every file the server still holds: one that was already current was not
  // fetched again, and sweeping it would lose it until the next run.
  KeepSet keep;
  for (const std::string& entry : state.OrdnerFiles)
    keep.insert(UpperCaseLocale(state.InstallOrdner + entry));
  for (const std::string& file : state.ServerFiles) keep.insert(UpperCaseLocale(file));

  for (const std::string& line : state.JobsSl.lines) {
    const std::optional<Job> job = ParseJob(line);
    if (!job) continue;
    const std::string target = state.InstallOrdner + job->path;
    if (job->verb == "l") {
      DeleteTarget(target);
    } else {
      SweepFolder(target, keep);
    }
  }
}

}  // namespace install
