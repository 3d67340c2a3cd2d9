// Signed releases in discovery: each server folder's manifest is fetched and
// checked before anything of the folder is listed, the walk enters only the
// folders it names, and the listing must agree with it file by file.
#include "base/strings.h"
#include "discovery/discovery.h"
#include "network/http_download.h"
#include "platform/file_system.h"
#include "platform/retry.h"
#include "platform/whole_file.h"
#include "resources/texts.h"
#include "run/releases.h"

namespace discovery {

namespace {

// The manifest's bytes, at most its size limit; nullopt when the server
// has none to give.
std::optional<std::string> FetchManifest(const RunState& state, THttpClient& http,
                                         const std::string& url, const std::string& path) {
  HttpDownload manifest;
  manifest.url = url;
  manifest.target = path;
  manifest.keptFolder = ReleaseFolderOf(state);
  manifest.sizeLimit = kManifestSizeLimit;
  if (DownloadFile(http, manifest) != DownloadResult::Fetched) return std::nullopt;
  std::optional<std::string> text = ReadWholeFile(path);
  if (!text) DeleteFileWithRetries(path);
  return text;
}

const ReleaseManifest* ManifestOf(const RunState& state, ReleaseFolder folder) {
  const auto release = state.Releases.find(folder);
  return release == state.Releases.end() ? nullptr : &release->second;
}

}  // namespace

std::string AcceptRelease(RunState& state, THttpClient& http, const std::string& url,
                          ReleaseFolder folder) {
  if (const std::string refusal = PrepareReleaseFolder(state); !refusal.empty()) return refusal;
  const std::string kept = ReleaseFolderOf(state) + SlotName(folder);
  const std::optional<std::string> text = FetchManifest(state, http, url, kept + ".new");
  if (!text) return state.CancelS ? "" : kMsgReleaseMissing;
  ReleaseManifest manifest;
  std::string refusal = CheckRelease(state, *text, folder, manifest);
  if (refusal.empty() && !ReplaceFileWith(kept + ".new", kept + ".txt")) {
    refusal = kMsgDownloadFolder;
  }
  if (!refusal.empty()) {
    DeleteFileWithRetries(kept + ".new");
    return refusal;
  }
  state.Releases[folder] = std::move(manifest);
  return "";
}

ReleaseFolder FolderOfRoot(const RunState& state, const std::string& root) {
  return root == state.UpdaterOrdner[state.ConnectNr] ? ReleaseFolder::Updater
                                                      : ReleaseFolder::Product;
}

const ReleasedFile* ReleasedEntry(const RunState& state, ReleaseFolder folder,
                                  const std::string& path, std::int64_t listedSize) {
  if (state.ReleaseKeys.empty()) return nullptr;
  const ReleaseManifest* manifest = ManifestOf(state, folder);
  if (manifest == nullptr) throw ReleaseRefused(FormatText(kMsgFileNotReleased, {path}));
  const auto found = manifest->files.find(path);
  if (found == manifest->files.end()) {
    throw ReleaseRefused(FormatText(kMsgFileNotReleased, {path}));
  }
  // A listing of another size is of another release than the manifest.
  if (found->second.size != listedSize) {
    throw ReleaseRefused(FormatText(kMsgFileNotAuthentic, {path}));
  }
  return &found->second;
}

bool ReleaseNamesFolder(const RunState& state, ReleaseFolder folder,
                        const std::string& relativeFolder) {
  if (state.ReleaseKeys.empty()) return true;
  const ReleaseManifest* manifest = ManifestOf(state, folder);
  if (manifest == nullptr) return false;
  // Paths sort after the folder they start with.
  const auto first = manifest->files.lower_bound(relativeFolder);
  return first != manifest->files.end() && first->first.rfind(relativeFolder, 0) == 0;
}

void RequireEveryReleasedFileListed(const RunState& state, ReleaseFolder folder) {
  const ReleaseManifest* manifest = ManifestOf(state, folder);
  if (state.ReleaseKeys.empty() || manifest == nullptr) return;
  for (const auto& [path, file] : manifest->files) {
    if (state.ListedReleaseFiles.count(path) == 0) {
      throw ReleaseRefused(FormatText(kMsgFileWithheld, {path}));
    }
  }
}

}  // namespace discovery
