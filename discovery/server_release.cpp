// Signed releases in discovery: each server folder's manifest is fetched and
// checked before anything of the folder is listed, the walk enters only the
// folders it names, and the listing must agree with it file by file.
#include "base/strings.h"
#include "discovery/discovery.h"
#include "network/http_download.h"
#include "platform/file_system.h"
#include "platform/retry.h"
#include "platform/system_failure.h"
#include "platform/whole_file.h"
#include "resources/texts.h"
#include "run/releases.h"

namespace discovery {

namespace {

struct FetchedManifest {
  std::optional<std::string> text;
  Failure failure;  // why there is none
};

// The manifest's bytes, at most its size limit; none when the server has
// none to give.
FetchedManifest FetchManifest(const RunState& state, THttpClient& http, const std::string& url,
                              const std::string& path) {
  HttpDownload manifest;
  manifest.url = url;
  manifest.target = path;
  manifest.keptFolder = ReleaseFolderOf(state);
  manifest.sizeLimit = kManifestSizeLimit;
  const DownloadEnd end = DownloadFile(http, manifest);
  if (end.result != DownloadResult::Fetched) return {std::nullopt, end.failure};
  FetchedManifest fetched{ReadWholeFile(path), {}};
  if (!fetched.text) {
    fetched.failure = LastSystemFailure("read", path);
    DeleteFileWithRetries(path);
  }
  return fetched;
}

const ReleaseManifest* ManifestOf(const RunState& state, ReleaseFolder folder) {
  const auto release = state.Releases.find(folder);
  return release == state.Releases.end() ? nullptr : &release->second;
}

}  // namespace

ReleaseAcceptance AcceptRelease(RunState& state, THttpClient& http, const std::string& url,
                                ReleaseFolder folder) {
  if (auto refusal = PrepareReleaseFolder(state)) {
    return {ReleaseFetch::Refused, std::move(*refusal)};
  }
  const std::string kept = ReleaseFolderOf(state) + SlotName(folder);
  const FetchedManifest fetched = FetchManifest(state, http, url, kept + ".new");
  if (!fetched.text) {
    if (state.CancelS) return {ReleaseFetch::Cancelled, {}};
    return {ReleaseFetch::NotFetched, {kMsgReleaseMissing, fetched.failure}};
  }
  ReleaseManifest manifest;
  std::optional<RunFailure> refusal = CheckRelease(state, *fetched.text, url, folder, manifest);
  if (!refusal && !ReplaceFileWith(kept + ".new", kept + ".txt")) {
    refusal = RunFailure{kMsgDownloadFolder, LastSystemFailure("put in place", kept + ".txt")};
  }
  if (refusal) {
    DeleteFileWithRetries(kept + ".new");
    return {ReleaseFetch::Refused, std::move(*refusal)};
  }
  state.Releases[folder] = std::move(manifest);
  return {ReleaseFetch::Accepted, {}};
}

ReleaseFolder FolderOfRoot(const RunState& state, const std::string& root) {
  return root == state.UpdaterOrdner[state.ConnectNr] ? ReleaseFolder::Updater
                                                      : ReleaseFolder::Product;
}

const ReleasedFile* ReleasedEntry(const RunState& state, ReleaseFolder folder,
                                  const std::string& path, std::int64_t listedSize) {
  if (state.ReleaseKeys.empty()) return nullptr;
  const ReleaseManifest* manifest = ManifestOf(state, folder);
  if (manifest == nullptr) throw ReleaseRefused(FileNotReleased(path));
  const auto found = manifest->files.find(path);
  if (found == manifest->files.end()) throw ReleaseRefused(FileNotReleased(path));
  // A listing of another size is of another release than the manifest.
  if (found->second.size != listedSize) {
    throw ReleaseRefused(FileNotAuthentic(path, "listed with " + std::to_string(listedSize) +
                                                    " bytes, the manifest says " +
                                                    std::to_string(found->second.size)));
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
      throw ReleaseRefused(FileWithheld(path));
    }
  }
}

}  // namespace discovery
