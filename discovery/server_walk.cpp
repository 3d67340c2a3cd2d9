// The server walk: after the login, the updater's own folder and then the
// product's folder are listed depth-first, every plain file going to the
// download-list decision.
#include <algorithm>
#include <exception>
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

// One root of the walk, after its release manifest when updates are signed;
// the listing must then agree with the manifest.
bool WalkRoot(RunState& state, RunContext& run, TFtpClient& ftp, THttpClient& http,
              const std::string& root, bool isUpdater) {
  const ReleaseFolder folder = isUpdater ? ReleaseFolder::Updater : ReleaseFolder::Product;
  if (!state.ReleaseKeys.empty() && !state.CancelS) {
    const std::string refusal = AcceptRelease(
        state, http, kUpdateWebAddress + StripLeadingSlash(root) + kReleaseManifestName, folder);
    if (!refusal.empty()) throw ReleaseRefused(refusal);
  }
  state.ListedReleaseFiles.clear();
  if (!WalkServerFolder(state, run, ftp, root, isUpdater)) return false;
  if (!state.CancelS) RequireEveryReleasedFileListed(state, folder);
  return true;
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
  try {
    const bool listed =
        WalkRoot(state, run, ftp, http, state.UpdaterOrdner[state.ConnectNr], true) &&
        WalkRoot(state, run, ftp, http, state.ServerOrdner[state.ConnectNr], false);
    if (state.CancelS) return NextStep::Close;
    if (listed) {
      RemoveWithdrawnDownloads(state);
      return NextStep::Download;
    }
  } catch (const ReleaseRefused& refusal) {
    RefuseRelease(state, run, refusal.what());
    return NextStep::Close;
  }
  // A listing the cancel command aborted ends the run as a cancel.
  run.Fail(kMsgWalkFailed);
  return NextStep::Close;
}

// ---- One folder ----

bool WalkServerFolder(RunState& state, RunContext& run, TFtpClient& ftp, const std::string& folder,
                      bool isUpdater) {
  if (state.CancelS) return true;
  const std::string& root =
      isUpdater ? state.UpdaterOrdner[state.ConnectNr] : state.ServerOrdner[state.ConnectNr];
  if (++state.WalkedFolders > kWalkFolderLimit || DepthBelow(root, folder) > kWalkDepthLimit) {
    return false;
  }
  try {
    // A copy of its own: the nested walks list other folders meanwhile.
    std::vector<FtpListItem> items;
    if (!ftp.ChangeDir(folder) || !ftp.List(items)) return false;
    state.WalkedEntries += static_cast<std::int64_t>(items.size());
    if (state.WalkedEntries > kWalkEntryLimit) return false;
    const ReleaseFolder release = isUpdater ? ReleaseFolder::Updater : ReleaseFolder::Product;
    for (const FtpListItem& item : items) {
      run.ProcessMessages();
      if (item.type == FtpItemType::Other) continue;  // links, devices and the like
      // The name becomes part of local paths; it must not lead outside the
      // download or installation folder on this system.
      if (!IsContainedRelativePath(item.name)) return false;
      if (item.type == FtpItemType::Directory) {
        const std::string below = folder + item.name + "/";
        // A signed release names its folders; no other is worth a listing.
        if (!ReleaseNamesFolder(state, release, below.substr(root.size()))) continue;
        if (!WalkServerFolder(state, run, ftp, below, isUpdater)) return false;
      } else {
        CheckServerFile(state, item, folder, item.name, root);
      }
    }
    return true;
  } catch (const ReleaseRefused&) {
    throw;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace discovery
