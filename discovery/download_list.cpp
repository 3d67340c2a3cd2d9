// The download-list decision: a server file is fetched unless a copy with the
// same date (to the minute) and size already waits in the download folder or
// is installed. With release keys the signed bytes decide instead of the
// listing's date, which anyone who serves the listing can set; the record of
// what was installed spares hashing an installed file it vouches for.
#include <cstdint>
#include <optional>
#include <unordered_set>

#include "discovery/discovery.h"
#include "platform/clock.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/locale.h"
#include "platform/paths.h"
#include "platform/retry.h"
#include "platform/sha256.h"
#include "resources/texts.h"
#include "run/installed_record.h"
#include "run/releases.h"

namespace discovery {

namespace {

// Date first: the size is only read when the dates agree.
bool SameAsServer(const std::string& localFile, TDateTime serverDate, std::int64_t serverSize) {
  return FormatDateToMinute(serverDate) == FormatDateToMinute(GetFileDateByName(localFile)) &&
         GetFileSizeByName(localFile) == serverSize;
}

// Size first: the bytes are only hashed when the size agrees.
bool SameAsReleased(const std::string& localFile, const ReleasedFile& released) {
  return GetFileSizeByName(localFile) == released.size &&
         Sha256OfFile(localFile) == released.sha256;
}

bool IsCurrent(const std::string& localFile, const ReleasedFile* released, TDateTime serverDate,
               std::int64_t serverSize) {
  return released != nullptr ? SameAsReleased(localFile, *released)
                             : SameAsServer(localFile, serverDate, serverSize);
}

// An installed file of the signed size is what the record vouches for while
// its size and date are as recorded; otherwise its bytes are hashed, and
// what they hash to joins the record.
bool InstalledIsReleased(RunState& state, const std::string& installed, const std::string& path,
                         const ReleasedFile& released) {
  const FileFacts facts = GetFileFacts(installed);
  if (!facts.isFile || facts.size != released.size) return false;
  if (const std::string* recorded = TrustedSha256(state.Installed, path, facts)) {
    return *recorded == released.sha256;
  }
  const std::optional<std::string> sha256 = Sha256OfFile(installed);
  if (!sha256) return false;
  RecordFile(state.Installed, path, facts, *sha256);
  return *sha256 == released.sha256;
}

}  // namespace

// ---- Deciding one file ----

void CheckServerFile(RunState& state, const FtpListItem& item, const std::string& folder,
                     const std::string& name, const std::string& root) {
  const std::string serverPath = folder.substr(root.size()) + name;
  // The manifest describes the folder; it is never installed itself.
  if (serverPath == kReleaseManifestName) return;
  const std::string relative = ServerPathToLocal(folder.substr(root.size()));
  const TDateTime serverDate = item.modified;
  const std::int64_t serverSize = item.size < 0 ? -item.size : item.size;
  const ReleasedFile* released =
      ReleasedEntry(state, FolderOfRoot(state, root), serverPath, serverSize);
  if (released != nullptr) state.ListedReleaseFiles.insert(serverPath);

  const std::string installed = state.InstallOrdner + relative + name;
  state.ServerFiles.push_back(installed);

  const std::string downloaded = state.DownloadOrdner + relative + name;
  if (FileExists(downloaded)) {
    ClearFileAttributes(downloaded);
    // A complete copy from an interrupted run is installed from there.
    if (IsCurrent(downloaded, released, serverDate, serverSize)) {
      if (released != nullptr) state.CheckedDownloads.insert(serverPath);
      return;
    }
    DeleteFileWithRetries(downloaded);
  }
  const bool installedCurrent =
      released != nullptr
          ? InstalledIsReleased(state, installed, serverPath, *released)
          : FileExists(installed) && SameAsServer(installed, serverDate, serverSize);
  if (installedCurrent) return;
  AddDownloadFile(state, name, folder, state.InstallOrdner + relative,
                  state.DownloadOrdner + relative, serverSize, serverDate,
                  released != nullptr ? released->sha256 : "");
}

// ---- What the server no longer offers ----

namespace {

using OfferedSet = std::unordered_set<std::string>;

// A cancel leaves the rest for the next run.
void RemoveUnoffered(const std::string& folder, const OfferedSet& offered) {
  for (const DirEntry& entry : ListDirectory(folder)) {
    if (!AnswerWhileWorking()) return;
    const std::string path = folder + entry.name;
    if (entry.isDirectory) {
      RemoveUnoffered(path + kPathDelim, offered);
    } else if (offered.count(UpperCaseLocale(path)) == 0) {
      ClearFileAttributes(path);
      DeleteFileWithRetries(path);
    }
  }
}

}  // namespace

void RemoveWithdrawnDownloads(const RunState& state) {
  // A server folder of many thousand files takes a second to go through.
  OfferedSet offered;
  for (const std::string& installed : state.ServerFiles) {
    if (!AnswerWhileWorking()) return;
    offered.insert(
        UpperCaseLocale(state.DownloadOrdner + installed.substr(state.InstallOrdner.size())));
  }
  RemoveUnoffered(state.DownloadOrdner, offered);
  // What the record vouched for has gone with it.
  DeleteFileWithRetries(UnpackedRecordOf(state));
}

// ---- The list ----

void AddDownloadFile(RunState& state, const std::string& name, const std::string& servOrdner,
                     const std::string& instOrdner, const std::string& downOrdner,
                     std::int64_t size, TDateTime datum, const std::string& sha256) {
  state.MaxSize += size;
  state.DownloadFiles.push_back({datum, size, name, servOrdner, instOrdner, downOrdner, sha256});
}

}  // namespace discovery
