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

// The refusal for a floor that cannot be trusted or kept.
RunFailure FloorRefusal(const RunState& state, const StoredFloor& floor) {
  return {FormatText(
              floor.access == FloorAccess::NotOwn ? kMsgReleaseFloorNotOwn : kMsgReleaseFloorFailed,
              {ReleaseFloorPlace(state.ReleaseProduct)}),
          floor.cause};
}

RunFailure VerdictRefusal(ManifestVerdict verdict, const std::string& source, std::int64_t floor) {
  const auto refusal = [&](const char* message, const std::string& why) {
    return RunFailure{
        message, {FailureKind::Signature, FailureCode::None, 0, "check manifest", source, why}};
  };
  switch (verdict) {
    case ManifestVerdict::Accepted:
    case ManifestVerdict::NotSigned:
      break;
    case ManifestVerdict::ForOther:
      return refusal(kMsgReleaseForOther, "for another product or folder");
    case ManifestVerdict::Expired:
      return refusal(kMsgReleaseExpired, "expired");
    case ManifestVerdict::Older:
      return refusal(kMsgReleaseOlder, "release below the floor " + std::to_string(floor));
  }
  return refusal(kMsgReleaseNotSigned, "no valid signature by a release key");
}

RunFailure FileRefusal(const char* message, const std::string& path, const std::string& why) {
  return {FormatText(message, {path}),
          {FailureKind::Signature, FailureCode::None, 0, "check release file", path, why}};
}

}  // namespace

const char* SlotName(ReleaseFolder folder) {
  return folder == ReleaseFolder::Updater ? "Updater" : "Product";
}

void RefuseRelease(RunState& state, RunContext& run, const RunFailure& refusal) {
  EmptyFolder(state.DownloadOrdner);
  RemoveDir(state.DownloadOrdner);
  RemoveFolderOfFiles(PartialDownloadsOf(state.DownloadOrdner));
  RemoveFolderOfFiles(ReleaseFolderOf(state));
  run.Fail(refusal.message, refusal.cause);
}

RunFailure FileNotReleased(const std::string& path) {
  return FileRefusal(kMsgFileNotReleased, path, "not in the manifest");
}

RunFailure FileNotAuthentic(const std::string& path, const std::string& why) {
  return FileRefusal(kMsgFileNotAuthentic, path, why);
}

RunFailure FileWithheld(const std::string& path) {
  return FileRefusal(kMsgFileWithheld, path, "in the manifest, not on the server");
}

std::string ReleaseFolderOf(const RunState& state) {
  return FolderBeside(state.DownloadOrdner, ".release");
}

std::string UnpackedRecordOf(const RunState& state) {
  return ReleaseFolderOf(state) + "Unpacked.txt";
}

std::optional<RunFailure> PrepareReleaseFolder(const RunState& state) {
  return PrepareRunFolder(ReleaseFolderOf(state));
}

std::optional<RunFailure> CheckRelease(const RunState& state, const std::string& text,
                                       const std::string& source, ReleaseFolder folder,
                                       ReleaseManifest& manifest) {
  const StoredFloor floor = ReadReleaseFloor(state.ReleaseProduct, SlotName(folder));
  if (floor.access != FloorAccess::Ready) return FloorRefusal(state, floor);
  const ManifestVerdict verdict =
      CheckManifest(text, state.ReleaseKeys, {state.ReleaseProduct, folder}, NowUtcSeconds(),
                    floor.release, manifest);
  if (verdict == ManifestVerdict::Accepted) return std::nullopt;
  return VerdictRefusal(verdict, source, floor.release);
}

std::optional<RunFailure> RaiseReleaseFloor(const RunState& state, ReleaseFolder folder) {
  const auto release = state.Releases.find(folder);
  if (release == state.Releases.end()) return std::nullopt;
  const StoredFloor floor = ReadReleaseFloor(state.ReleaseProduct, SlotName(folder));
  if (floor.access != FloorAccess::Ready) return FloorRefusal(state, floor);
  if (release->second.release <= floor.release) return std::nullopt;
  const StoredFloor written =
      WriteReleaseFloor(state.ReleaseProduct, SlotName(folder), release->second.release);
  if (written.access == FloorAccess::Ready) return std::nullopt;
  return FloorRefusal(state, written);
}
