#include "run/releases.h"

#include "base/strings.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/release_floor.h"
#include "platform/retry.h"
#include "resources/texts.h"
#include "run/run_folders.h"
#include "trust/release_manifest.h"

namespace {

void EmptyFolder(const std::string& folder) {
  for (const DirEntry& entry : ListDirectory(folder)) {
    const std::string path = folder + entry.name;
    if (entry.isDirectory) {
      EmptyFolder(path + kPathDelim);
      RemoveDir(path + kPathDelim);
    } else {
      ClearFileAttributes(path);
      DeleteFileWithRetries(path);
    }
  }
}

// The message for a floor that cannot be trusted or kept.
std::string FloorRefusal(const RunState& state, FloorAccess access) {
  return FormatText(access == FloorAccess::NotOwn ? kMsgReleaseFloorNotOwn : kMsgReleaseFloorFailed,
                    {ReleaseFloorPlace(state.ReleaseProduct)});
}

}  // namespace

const char* SlotName(ReleaseFolder folder) {
  return folder == ReleaseFolder::Updater ? "Updater" : "Product";
}

void RefuseRelease(RunState& state, RunContext& run, const std::string& message) {
  EmptyFolder(state.DownloadOrdner);
  RemoveDir(state.DownloadOrdner);
  RemoveFolderOfFiles(PartialDownloadsOf(state.DownloadOrdner));
  RemoveFolderOfFiles(ReleaseFolderOf(state));
  run.Fail(message);
}

std::string ReleaseVerdictMessage(ManifestVerdict verdict) {
  switch (verdict) {
    case ManifestVerdict::Accepted:
      break;
    case ManifestVerdict::NotSigned:
      return kMsgReleaseNotSigned;
    case ManifestVerdict::ForOther:
      return kMsgReleaseForOther;
    case ManifestVerdict::Expired:
      return kMsgReleaseExpired;
    case ManifestVerdict::Older:
      return kMsgReleaseOlder;
  }
  return "";
}

std::string ReleaseFolderOf(const RunState& state) {
  return FolderBeside(state.DownloadOrdner, ".release");
}

std::string UnpackedRecordOf(const RunState& state) {
  return ReleaseFolderOf(state) + "Unpacked.txt";
}

std::string PrepareReleaseFolder(const RunState& state) {
  return PrepareRunFolder(ReleaseFolderOf(state));
}

std::string CheckRelease(const RunState& state, const std::string& text, ReleaseFolder folder,
                         ReleaseManifest& manifest) {
  const StoredFloor floor = ReadReleaseFloor(state.ReleaseProduct, SlotName(folder));
  if (floor.access != FloorAccess::Ready) return FloorRefusal(state, floor.access);
  return ReleaseVerdictMessage(CheckManifest(text, state.ReleaseKeys,
                                             {state.ReleaseProduct, folder}, NowUtcSeconds(),
                                             floor.release, manifest));
}

std::string RaiseReleaseFloor(const RunState& state, ReleaseFolder folder) {
  const auto release = state.Releases.find(folder);
  if (release == state.Releases.end()) return "";
  const StoredFloor floor = ReadReleaseFloor(state.ReleaseProduct, SlotName(folder));
  if (floor.access != FloorAccess::Ready) return FloorRefusal(state, floor.access);
  if (release->second.release <= floor.release) return "";
  const FloorAccess written =
      WriteReleaseFloor(state.ReleaseProduct, SlotName(folder), release->second.release);
  return written == FloorAccess::Ready ? "" : FloorRefusal(state, written);
}
