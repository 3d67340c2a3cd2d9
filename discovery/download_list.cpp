// The download-list decision: a server file is fetched unless a copy with the
// same date (to the minute) and size already waits in the download folder or
// is installed.
#include <cstdint>

#include "app/haupt.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/retry.h"

namespace {

// Date first: the size is only read when the dates agree.
bool SameAsServer(const std::string& localFile, TDateTime serverDate, std::int64_t serverSize) {
  return FormatDateToMinute(serverDate) == FormatDateToMinute(GetFileDateByName(localFile)) &&
         GetFileSizeByName(localFile) == serverSize;
}

}  // namespace

// ---- Deciding one file ----

void TForm1::CheckServerFile(const FtpListItem& item, const std::string& folder,
                             const std::string& name, const std::string& root) {
  const std::string relative = ServerPathToLocal(folder.substr(root.size()));
  const TDateTime serverDate = item.modified;
  const std::int64_t serverSize = item.size < 0 ? -item.size : item.size;

  const std::string installed = InstallOrdner + relative + name;
  ServerFiles.push_back(installed);

  const std::string downloaded = DownloadOrdner + relative + name;
  if (FileExists(downloaded)) {
    ClearFileAttributes(downloaded);
    // A complete copy from an interrupted run is installed from there.
    if (SameAsServer(downloaded, serverDate, serverSize)) return;
    DeleteFileWithRetries(downloaded);
  }
  if (FileExists(installed) && SameAsServer(installed, serverDate, serverSize)) return;
  AddDownloadFile(name, folder, InstallOrdner + relative, DownloadOrdner + relative, serverSize,
                  serverDate);
}

// ---- The list ----

void TForm1::AddDownloadFile(const std::string& name, const std::string& servOrdner,
                             const std::string& instOrdner, const std::string& downOrdner,
                             std::int64_t size, TDateTime datum) {
  MaxSize += size;
  DownloadFiles.push_back({datum, size, name, servOrdner, instOrdner, downOrdner});
}
