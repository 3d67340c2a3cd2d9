#include "run/releases.h"

#include <algorithm>
#include <climits>
#include <memory>

#include "base/strings.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/retry.h"
#include "resources/texts.h"
#include "run/installation_key.h"
#include "run/run_folders.h"

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

std::string FloorValueName(const std::string& slot) { return "QuennvoldarRelease" + slot; }

std::int64_t FloorIn(UninstallKey& key, const std::string& slot) {
  if (!key.HasValue(FloorValueName(slot))) return 0;
  // A value that cannot be read lets no release pass.
  return key.ReadInteger(FloorValueName(slot)).value_or(INT32_MAX);
}

}  // namespace

void RefuseRelease(RunState& state, RunContext& run, const std::string& message) {
  EmptyFolder(state.DownloadOrdner);
  RemoveFolderOfFiles(PartialDownloadsOf(state.DownloadOrdner));
  run.Fail(message);
}

std::string ReleaseVerdictMessage(ManifestVerdict verdict) {
  switch (verdict) {
    case ManifestVerdict::Accepted:
      break;
    case ManifestVerdict::NotSigned:
      return kMsgReleaseNotSigned;
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

std::string PrepareReleaseFolder(const RunState& state) {
  return PrepareRunFolder(ReleaseFolderOf(state));
}

std::int64_t ReleaseFloor(const RunState& state, const std::string& slot) {
  const std::unique_ptr<UninstallKey> key = OpenInstallationKey(state);
  return key ? FloorIn(*key, slot) : 0;
}

void RaiseReleaseFloor(const RunState& state, const std::string& slot, std::int64_t release) {
  const std::unique_ptr<UninstallKey> key = OpenInstallationKey(state);
  if (!key || release <= FloorIn(*key, slot)) return;
  key->WriteInteger(FloorValueName(slot),
                    static_cast<std::int32_t>(std::min<std::int64_t>(release, INT32_MAX)));
}
