// With release keys nothing is installed that no accepted manifest vouches
// for. What this run fetched, or found waiting, was checked on the way; an
// install-only start checks what waits against the manifests kept by the run
// that fetched it.
#include "base/strings.h"
#include "install/install.h"
#include "platform/paths.h"
#include "platform/sha256.h"
#include "platform/whole_file.h"
#include "resources/texts.h"
#include "run/releases.h"

namespace install {

namespace {

// The kept manifests, checked as when they were fetched; "" when every one
// that is there holds.
std::string LoadKeptReleases(RunState& state) {
  if (const std::string refusal = PrepareReleaseFolder(state); !refusal.empty()) return refusal;
  for (const char* slot : {kUpdaterReleaseSlot, kProductReleaseSlot}) {
    const std::optional<std::string> text = ReadWholeFile(ReleaseFolderOf(state) + slot + ".txt");
    if (!text) continue;
    ReleaseManifest manifest;
    const ManifestVerdict verdict = CheckManifest(*text, state.ReleaseKeys, NowUtcSeconds(),
                                                  ReleaseFloor(state, slot), manifest);
    if (verdict != ManifestVerdict::Accepted) return ReleaseVerdictMessage(verdict);
    state.Releases[slot] = std::move(manifest);
  }
  return "";
}

const ReleasedFile* FindReleased(const RunState& state, const std::string& path) {
  for (const auto& [folder, manifest] : state.Releases) {
    const auto found = manifest.files.find(path);
    if (found != manifest.files.end()) return &found->second;
  }
  return nullptr;
}

}  // namespace

bool CheckWaitingFiles(RunState& state, RunContext& run) {
  if (state.ReleaseKeys.empty()) return true;
  if (state.Releases.empty()) {
    if (const std::string refusal = LoadKeptReleases(state); !refusal.empty()) {
      RefuseRelease(state, run, refusal);
      return false;
    }
  }
  BuildInstallList(state);
  for (const std::string& relative : state.OrdnerFiles) {
    const std::string path = BackslashToSlash(relative);
    if (state.CheckedDownloads.count(path) != 0) continue;
    const ReleasedFile* released = FindReleased(state, path);
    if (released == nullptr) {
      RefuseRelease(state, run, FormatText(kMsgFileNotReleased, {path}));
      return false;
    }
    if (Sha256OfFile(state.DownloadOrdner + relative) != released->sha256) {
      RefuseRelease(state, run, FormatText(kMsgFileNotAuthentic, {path}));
      return false;
    }
  }
  return true;
}

}  // namespace install
