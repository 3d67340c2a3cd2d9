// The install list: every file waiting in the download folder, with what only
// a restart can replace at the front; and the removal of emptied folders.
#include <algorithm>

#include "base/strings.h"
#include "install/install.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/locale.h"
#include "platform/paths.h"
#include "resources/texts.h"

namespace install {

// ---- Building the list ----

void BuildInstallList(RunState& state) {
  state.OrdnerFiles.clear();
  state.OrdnerFacts.clear();
  state.MaxSize = 0;
  state.AktSize = 0;
  CollectFiles(state, state.DownloadOrdner);
  if (state.OrdnerFiles.size() > 1) {
    // Each move goes to index 0, so the last one named ends up first.
    MoveToFront(state, kNvdaLibraryName);
    MoveToFront(state, state.OwnExeName());
    MoveToFront(state, std::string(kSecondCopyName) + kExeSuffix);
  }
}

void CollectFiles(RunState& state, const std::string& folder) {
  for (const DirEntry& entry : ListDirectory(folder)) {
    if (entry.isDirectory) {
      CollectFiles(state, folder + entry.name + kPathDelim);
      continue;
    }
    const std::string relative = (folder + entry.name).substr(state.DownloadOrdner.size());
    // The one look at the file that the phase needs: size, date and mode.
    const FileFacts facts = GetFileFacts(state.DownloadOrdner + relative);
    state.OrdnerFiles.push_back(relative);
    state.OrdnerFacts[relative] = {facts, std::nullopt};
    state.MaxSize += facts.size;
  }
}

void MoveToFront(RunState& state, const std::string& name) {
  const auto found =
      std::find_if(state.OrdnerFiles.begin(), state.OrdnerFiles.end(),
                   [&name](const std::string& entry) { return SameText(entry, name); });
  if (found == state.OrdnerFiles.end() || found == state.OrdnerFiles.begin()) return;
  std::rotate(state.OrdnerFiles.begin(), found, found + 1);
}

// ---- Cleanup ----

void RemoveEmptyFolders(const std::string& folder) {
  for (const DirEntry& entry : ListDirectory(folder)) {
    if (entry.isDirectory) RemoveEmptyFolders(folder + entry.name + kPathDelim);
  }
  // Only an empty folder goes; files are never deleted here.
  RemoveDir(folder);
}

}  // namespace install
