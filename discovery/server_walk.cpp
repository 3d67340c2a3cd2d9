// The server walk: after the login, the updater's own folder and then the
// product's folder are listed depth-first, every plain file going to the
// download-list decision.
#include <exception>
#include <vector>

#include "app/haupt.h"
#include "platform/paths.h"
#include "resources/texts.h"

// ---- After the login ----

void TForm1::Ftp1AfterClientLogin() {
  AnnounceStatus(kTextBuildingList);
  DownloadFiles.clear();
  ServerFiles.clear();
  MaxSize = 0;
  AktSize = 0;
  const bool listed = WalkServerFolder(UpdaterOrdner[ConnectNr], true) &&
                      WalkServerFolder(ServerOrdner[ConnectNr], false);
  if (listed) {
    if (!CancelS) frontEnd->SetTimerEnabled(2, true);
  } else if (!CancelS) {
    // A listing the cancel command aborted ends the run as a cancel.
    Fail(kMsgWalkFailed);
  }
}

// ---- One folder ----

bool TForm1::WalkServerFolder(const std::string& folder, bool isUpdater) {
  if (CancelS) return true;
  try {
    // A copy of its own: the nested walks list other folders meanwhile.
    std::vector<FtpListItem> items;
    if (!Ftp1.ChangeDir(folder) || !Ftp1.List(items)) return false;
    const std::string& root = isUpdater ? UpdaterOrdner[ConnectNr] : ServerOrdner[ConnectNr];
    for (const FtpListItem& item : items) {
      frontEnd->ProcessMessages();
      if (item.type == FtpItemType::Other) continue;  // links, devices and the like
      // The name becomes part of local paths; it must not lead outside the
      // download or installation folder on this system.
      if (!IsContainedRelativePath(item.name)) return false;
      if (item.type == FtpItemType::Directory) {
        if (!WalkServerFolder(folder + item.name + "/", isUpdater)) return false;
      } else {
        CheckServerFile(item, folder, item.name, root);
      }
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}
