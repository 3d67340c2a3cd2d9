// Signed releases in discovery: each server folder's manifest is fetched and
// checked before anything of the folder is listed for download, and every
// file the walk finds must be in it.
#include "base/strings.h"
#include "discovery/discovery.h"
#include "platform/file_system.h"
#include "platform/retry.h"
#include "platform/whole_file.h"
#include "resources/texts.h"
#include "run/releases.h"

namespace discovery {

namespace {

// The manifest's bytes, at most its size limit; nullopt when the server
// has none to give.
std::optional<std::string> FetchManifest(THttpClient& http, const std::string& url,
                                         const std::string& path) {
  ClearFileAttributes(path);
  if (!DeleteFileWithRetries(path)) return std::nullopt;
  std::FILE* file = OpenFile(path, FileOpenMode::CreateNew);
  if (file == nullptr) return std::nullopt;
  std::int64_t received = 0;
  HttpBodyWatch watch;
  watch.arrived = [&received](const char*, std::size_t size) {
    received += static_cast<std::int64_t>(size);
    return received <= kManifestSizeLimit;
  };
  const bool fetched = http.Get(UrlEncode(url), file, kAnySize, {}, watch) == HttpOutcome::Complete;
  const bool closed = std::fclose(file) == 0;
  std::optional<std::string> text;
  if (fetched && closed) text = ReadWholeFile(path);
  if (!text) DeleteFileWithRetries(path);
  return text;
}

}  // namespace

std::string AcceptRelease(RunState& state, THttpClient& http, const std::string& url,
                          const std::string& folder, const std::string& slot) {
  if (const std::string refusal = PrepareReleaseFolder(state); !refusal.empty()) return refusal;
  const std::string keep = ReleaseFolderOf(state);
  const std::string fetched = keep + slot + ".new";
  const std::optional<std::string> text = FetchManifest(http, url, fetched);
  if (!text) return state.CancelS ? "" : kMsgReleaseMissing;
  ReleaseManifest manifest;
  const ManifestVerdict verdict =
      CheckManifest(*text, state.ReleaseKeys, NowUtcSeconds(), ReleaseFloor(state, slot), manifest);
  if (verdict != ManifestVerdict::Accepted || !ReplaceFileWith(fetched, keep + slot + ".txt")) {
    DeleteFileWithRetries(fetched);
    return verdict == ManifestVerdict::Accepted ? kMsgDownloadFolder
                                                : ReleaseVerdictMessage(verdict);
  }
  RaiseReleaseFloor(state, slot, manifest.release);
  state.Releases[folder] = std::move(manifest);
  return "";
}

const ReleasedFile* ReleasedEntry(const RunState& state, const std::string& root,
                                  const std::string& path, std::int64_t listedSize) {
  if (state.ReleaseKeys.empty()) return nullptr;
  const auto release = state.Releases.find(root);
  const ReleasedFile* entry = nullptr;
  if (release != state.Releases.end()) {
    const auto found = release->second.files.find(path);
    if (found != release->second.files.end()) entry = &found->second;
  }
  if (entry == nullptr) throw ReleaseRefused(FormatText(kMsgFileNotReleased, {path}));
  // A listing of another size is of another release than the manifest.
  if (entry->size != listedSize) throw ReleaseRefused(FormatText(kMsgFileNotAuthentic, {path}));
  return entry;
}

}  // namespace discovery
