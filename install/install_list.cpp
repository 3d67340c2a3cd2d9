// The install list: every file waiting in the download folder, with what only
// a restart can replace at the front; and the removal of emptied folders.
#include <algorithm>

#include "app/haupt.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/strings.h"
#include "resources/texts.h"

// ---- Building the list ----

void TForm1::BuildInstallList() {
  OrdnerFiles.clear();
  MaxSize = 0;
  AktSize = 0;
  CollectFiles(DownloadOrdner);
  if (OrdnerFiles.size() > 1) {
    // Each move goes to index 0, so the last one named ends up first.
    MoveToFront(kNvdaLibraryName);
    MoveToFront(OwnExeName());
    MoveToFront(std::string(kSecondCopyName) + kExeSuffix);
  }
}

void TForm1::CollectFiles(const std::string& folder) {
  for (const DirEntry& entry : ListDirectory(folder)) {
    if (entry.isDirectory) {
      CollectFiles(folder + entry.name + kPathDelim);
      continue;
    }
    const std::string relative = (folder + entry.name).substr(DownloadOrdner.size());
    OrdnerFiles.push_back(relative);
    MaxSize += GetFileSizeByName(DownloadOrdner + relative);
  }
}

void TForm1::MoveToFront(const std::string& name) {
  const auto found = std::find_if(OrdnerFiles.begin(), OrdnerFiles.end(),
                                  [&name](const std::string& entry) { return SameText(entry, name); });
  if (found == OrdnerFiles.end() || found == OrdnerFiles.begin()) return;
  std::rotate(OrdnerFiles.begin(), found, found + 1);
}

// ---- Cleanup ----

void TForm1::RemoveEmptyFolders(const std::string& folder) {
  for (const DirEntry& entry : ListDirectory(folder)) {
    if (entry.isDirectory) RemoveEmptyFolders(folder + entry.name + kPathDelim);
  }
  // Only an empty folder goes; files are never deleted here.
  RemoveDir(folder);
}
