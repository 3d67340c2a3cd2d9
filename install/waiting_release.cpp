// With release keys nothing is installed that no accepted manifest vouches
// for. What this run fetched, or found waiting, was checked on the way; an
// install-only start checks what waits against the manifests kept by the run
// that fetched it, and what an archive unpacked against the record made as
// it was unpacked: the archive's bytes were the release's.
#include <charconv>

#include "base/strings.h"
#include "install/install.h"
#include "platform/file_info.h"
#include "platform/paths.h"
#include "platform/replacing_write.h"
#include "platform/sha256.h"
#include "platform/whole_file.h"
#include "resources/texts.h"
#include "run/releases.h"

namespace install {

namespace {

using UnpackedFiles = std::map<std::string, ReleasedFile>;

// ---- The record of what archives unpacked ----
// One line a file: "<size> <sha256> <path relative to the download
// folder, with />".

// What the record holds; lines that do not read vouch for nothing.
UnpackedFiles ReadUnpackedRecord(const RunState& state) {
  UnpackedFiles files;
  const std::string text = ReadWholeFile(UnpackedRecordOf(state)).value_or("");
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const std::size_t sizeEnd = line.find(' ');
    const std::size_t hashEnd = line.find(' ', sizeEnd + 1);
    if (sizeEnd == std::string::npos || hashEnd == std::string::npos) continue;
    ReleasedFile file;
    const auto [stop, error] = std::from_chars(line.data(), line.data() + sizeEnd, file.size);
    if (error != std::errc() || stop != line.data() + sizeEnd) continue;
    file.sha256 = line.substr(sizeEnd + 1, hashEnd - sizeEnd - 1);
    files[line.substr(hashEnd + 1)] = file;
  }
  return files;
}

// ---- The kept manifests ----

// The kept manifests, checked as when they were fetched; the refusal when
// one that is there does not hold.
std::optional<RunFailure> LoadKeptReleases(RunState& state) {
  if (auto refusal = PrepareReleaseFolder(state)) return refusal;
  for (const ReleaseFolder folder : {ReleaseFolder::Updater, ReleaseFolder::Product}) {
    const std::string path = ReleaseFolderOf(state) + SlotName(folder) + ".txt";
    const std::optional<std::string> text = ReadWholeFile(path);
    if (!text) continue;
    ReleaseManifest manifest;
    if (auto refusal = CheckRelease(state, *text, path, folder, manifest)) return refusal;
    state.Releases[folder] = std::move(manifest);
  }
  return std::nullopt;
}

// What an archive unpacked took the place of a fetched file of that name.
const ReleasedFile* FindReleased(const RunState& state, const UnpackedFiles& unpacked,
                                 const std::string& path) {
  if (const auto found = unpacked.find(path); found != unpacked.end()) return &found->second;
  for (const auto& [folder, manifest] : state.Releases) {
    const auto found = manifest.files.find(path);
    if (found != manifest.files.end()) return &found->second;
  }
  return nullptr;
}

// The hash every manifest that lists the path gives it; nullptr when none
// does, or two disagree.
const std::string* ManifestSha256(const RunState& state, const std::string& path) {
  const std::string* sha256 = nullptr;
  for (const auto& [folder, manifest] : state.Releases) {
    const auto found = manifest.files.find(path);
    if (found == manifest.files.end()) continue;
    if (sha256 != nullptr && *sha256 != found->second.sha256) return nullptr;
    sha256 = &found->second.sha256;
  }
  return sha256;
}

}  // namespace

bool CheckWaitingFiles(RunState& state, RunContext& run) {
  if (state.ReleaseKeys.empty()) return true;
  // A fetching run checked its manifests and has unpacked nothing yet.
  UnpackedFiles unpacked;
  if (state.Releases.empty()) {
    if (const auto refusal = LoadKeptReleases(state)) {
      RefuseRelease(state, run, *refusal);
      return false;
    }
    unpacked = ReadUnpackedRecord(state);
  }
  BuildInstallList(state);
  for (const std::string& relative : state.OrdnerFiles) {
    const std::string path = BackslashToSlash(relative);
    // What the walk checked is what its manifest says.
    if (state.CheckedDownloads.count(path) != 0) {
      if (const std::string* sha256 = ManifestSha256(state, path)) {
        state.WaitingSha256[path] = *sha256;
      }
      continue;
    }
    const ReleasedFile* released = FindReleased(state, unpacked, path);
    if (released == nullptr) {
      RefuseRelease(state, run, FileNotReleased(path));
      return false;
    }
    if (const std::optional<std::string> sha256 = Sha256OfFile(state.DownloadOrdner + relative);
        sha256 != released->sha256) {
      RefuseRelease(state, run,
                    FileNotAuthentic(path, sha256 ? "SHA-256 " + *sha256 + " is not the listed one"
                                                  : "unreadable"));
      return false;
    }
    state.WaitingSha256[path] = released->sha256;
  }
  return true;
}

bool RecordUnpacked(RunState& state, const std::vector<std::string>& unpackedFiles) {
  if (state.ReleaseKeys.empty() || unpackedFiles.empty()) return true;
  std::string record = ReadWholeFile(UnpackedRecordOf(state)).value_or("");
  for (const std::string& file : unpackedFiles) {
    const std::optional<std::string> sha256 = Sha256OfFile(file);
    if (!sha256) return false;
    const std::string path = BackslashToSlash(file.substr(state.DownloadOrdner.size()));
    record += std::to_string(GetFileSizeByName(file)) + " " + *sha256 + " " + path + "\n";
    state.WaitingSha256[path] = *sha256;
  }
  return !PrepareReleaseFolder(state) && WriteFileReplacing(UnpackedRecordOf(state), record);
}

bool RaiseReleaseFloors(RunState& state, RunContext& run) {
  for (const auto& [folder, manifest] : state.Releases) {
    if (const auto failure = RaiseReleaseFloor(state, folder)) {
      run.Fail(failure->message, failure->cause);
      return false;
    }
  }
  return true;
}

}  // namespace install
