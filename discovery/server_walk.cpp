// The server walk: after the login, the updater's own folder and then the
// product's folder are listed depth-first, every plain file going to the
// download-list decision.
#include <algorithm>
#include <exception>
#include <optional>
#include <vector>

#include "deployment.h"
#include "discovery/discovery.h"
#include "platform/paths.h"
#include "resources/texts.h"
#include "run/releases.h"

namespace discovery {

// ---- After the login ----

namespace {

// No real product comes near these; a listing that does is walked no
// further than this.
constexpr int kWalkFolderLimit = 10000;
constexpr std::int64_t kWalkEntryLimit = 1000000;
constexpr int kWalkDepthLimit = 100;

Failure WalkFailure(const std::string& folder, const std::string& why) {
  return {FailureKind::ServerAnswer, FailureCode::None, 0, "list", folder, why};
}

// "more than 10000 folders"; appended step by step, which mingw's GCC 12
// does not mistake for overlapping copies.
Failure PastLimit(const std::string& folder, const char* beyond, std::int64_t limit,
                  const char* what) {
  std::string why(beyond);
  why += std::to_string(limit);
  why += what;
  return WalkFailure(folder, why);
}

// One root of the walk, after its release manifest when updates are signed;
// the listing must then agree with the manifest. Why it could not be
// walked; nullopt when it was.
std::optional<Failure> WalkRoot(RunState& state, RunContext& run, TFtpClient& ftp,
                                THttpClient& http, const std::string& root, bool isUpdater) {
  const ReleaseFolder folder = isUpdater ? ReleaseFolder::Updater : ReleaseFolder::Product;
  if (!state.ReleaseKeys.empty() && !state.CancelS) {
    ReleaseAcceptance release = AcceptRelease(
        state, http, kUpdateWebAddress + StripLeadingSlash(root) + kReleaseManifestName, folder);
    if (release.outcome == ReleaseFetch::NotFetched || release.outcome == ReleaseFetch::Refused) {
      throw ReleaseRefused(std::move(release.failure));
    }
  }
  state.ListedReleaseFiles.clear();
  if (std::optional<Failure> failure = WalkServerFolder(state, run, ftp, root, isUpdater)) {
    return failure;
  }
  if (!state.CancelS) RequireEveryReleasedFileListed(state, folder);
  return std::nullopt;
}

int DepthBelow(const std::string& root, const std::string& folder) {
  return static_cast<int>(
      std::count(folder.begin() + static_cast<std::ptrdiff_t>(root.size()), folder.end(), '/'));
}

}  // namespace

NextStep Ftp1AfterClientLogin(RunState& state, RunContext& run, TFtpClient& ftp,
                              THttpClient& http) {
  run.AnnounceStatus(kTextBuildingList);
  state.DownloadFiles.clear();
  state.ServerFiles.clear();
  state.Releases.clear();
  state.CheckedDownloads.clear();
  state.WalkedFolders = 0;
  state.WalkedEntries = 0;
  state.MaxSize = 0;
  state.AktSize = 0;
  std::optional<Failure> failure;
  try {
    failure = WalkRoot(state, run, ftp, http, state.UpdaterOrdner[state.ConnectNr], true);
    if (!failure) {
      failure = WalkRoot(state, run, ftp, http, state.ServerOrdner[state.ConnectNr], false);
    }
    if (state.CancelS) return NextStep::Close;
    if (!failure) {
      RemoveWithdrawnDownloads(state);
      return NextStep::Download;
    }
  } catch (const ReleaseRefused& refusal) {
    RefuseRelease(state, run, refusal.refusal());
    return NextStep::Close;
  }
  // A listing the cancel command aborted ends the run as a cancel.
  run.Fail(kMsgWalkFailed, *failure);
  return NextStep::Close;
}

// ---- One folder ----

std::optional<Failure> WalkServerFolder(RunState& state, RunContext& run, TFtpClient& ftp,
                                        const std::string& folder, bool isUpdater) {
  if (state.CancelS) return std::nullopt;
  const std::string& root =
      isUpdater ? state.UpdaterOrdner[state.ConnectNr] : state.ServerOrdner[state.ConnectNr];
  if (++state.WalkedFolders > kWalkFolderLimit) {
    return PastLimit(folder, "more than ", kWalkFolderLimit, " folders");
  }
  if (DepthBelow(root, folder) > kWalkDepthLimit) {
    return PastLimit(folder, "deeper than ", kWalkDepthLimit, " folders");
  }
  try {
    // A copy of its own: the nested walks list other folders meanwhile.
    std::vector<FtpListItem> items;
    if (!ftp.ChangeDir(folder)) return WalkFailure(folder, "not an absolute folder");
    if (!ftp.List(items)) return ftp.LastFailure();
    state.WalkedEntries += static_cast<std::int64_t>(items.size());
    if (state.WalkedEntries > kWalkEntryLimit) {
      return PastLimit(folder, "more than ", kWalkEntryLimit, " entries");
    }
    const ReleaseFolder release = isUpdater ? ReleaseFolder::Updater : ReleaseFolder::Product;
    std::vector<bool> entered(items.size(), false);
    std::vector<std::string> below;
    for (std::size_t i = 0; i < items.size(); ++i) {
      const FtpListItem& item = items[i];
      if (item.type == FtpItemType::Other) continue;  // links, devices and the like
      // The name becomes part of local paths; it must not lead outside the
      // download or installation folder on this system.
      if (!IsContainedRelativePath(item.name)) {
        return WalkFailure(folder, "unsafe name \"" + item.name + "\"");
      }
      if (item.type != FtpItemType::Directory) continue;
      const std::string subfolder = folder + item.name + "/";
      // A signed release names its folders; no other is worth a listing.
      entered[i] = ReleaseNamesFolder(state, release, subfolder.substr(root.size()));
      if (entered[i] && DepthBelow(root, subfolder) <= kWalkDepthLimit) below.push_back(subfolder);
    }
    // Over a slow link the listings of the folders below go on meanwhile.
    ftp.ListAhead(below);
    for (std::size_t i = 0; i < items.size(); ++i) {
      const FtpListItem& item = items[i];
      run.ProcessMessages();
      if (item.type == FtpItemType::Other) continue;
      if (item.type == FtpItemType::Directory) {
        if (!entered[i]) continue;
        if (auto failure = WalkServerFolder(state, run, ftp, folder + item.name + "/", isUpdater)) {
          return failure;
        }
      } else {
        CheckServerFile(state, item, folder, item.name, root);
      }
    }
    return std::nullopt;
  } catch (const ReleaseRefused&) {
    throw;
  } catch (const std::exception& error) {
    return Failure{FailureKind::System, FailureCode::None, 0, "list", folder, error.what()};
  }
}

}  // namespace discovery
