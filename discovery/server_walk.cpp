// The server walk: after the login, the updater's own folder and then the
// product's folder are listed depth-first, every plain file going to the
// download-list decision.
#include <exception>
#include <vector>

#include "discovery/discovery.h"
#include "platform/paths.h"
#include "resources/texts.h"

namespace discovery {

// ---- After the login ----

NextStep Ftp1AfterClientLogin(RunState& state, RunContext& run, TFtpClient& ftp) {
  run.AnnounceStatus(kTextBuildingList);
  state.DownloadFiles.clear();
  state.ServerFiles.clear();
  state.MaxSize = 0;
  state.AktSize = 0;
  const bool listed =
      WalkServerFolder(state, run, ftp, state.UpdaterOrdner[state.ConnectNr], true) &&
      WalkServerFolder(state, run, ftp, state.ServerOrdner[state.ConnectNr], false);
  if (state.CancelS) return NextStep::Close;
  if (listed) {
    RemoveWithdrawnDownloads(state);
    return NextStep::Download;
  }
  // A listing the cancel command aborted ends the run as a cancel.
  run.Fail(kMsgWalkFailed);
  return NextStep::Close;
}

// ---- One folder ----

bool WalkServerFolder(RunState& state, RunContext& run, TFtpClient& ftp, const std::string& folder,
                      bool isUpdater) {
  if (state.CancelS) return true;
  try {
    // A copy of its own: the nested walks list other folders meanwhile.
    std::vector<FtpListItem> items;
    if (!ftp.ChangeDir(folder) || !ftp.List(items)) return false;
    const std::string& root =
        isUpdater ? state.UpdaterOrdner[state.ConnectNr] : state.ServerOrdner[state.ConnectNr];
    for (const FtpListItem& item : items) {
      run.ProcessMessages();
      if (item.type == FtpItemType::Other) continue;  // links, devices and the like
      // The name becomes part of local paths; it must not lead outside the
      // download or installation folder on this system.
      if (!IsContainedRelativePath(item.name)) return false;
      if (item.type == FtpItemType::Directory) {
        if (!WalkServerFolder(state, run, ftp, folder + item.name + "/", isUpdater)) return false;
      } else {
        CheckServerFile(state, item, folder, item.name, root);
      }
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace discovery
