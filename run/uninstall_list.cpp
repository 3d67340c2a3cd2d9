// The uninstall list: every file the updater has installed, for the product's
// uninstaller; the list file itself is always named in it.
#include "base/strings.h"
#include "platform/file_system.h"
#include "platform/list_file.h"
#include "platform/locale.h"
#include "run/config.h"

void SyncUninstList(RunState& state, bool load) {
  if (load) {
    std::optional<ListFile> file;
    if (FileExists(state.UninstFilename)) file = ReadListFile(state.UninstFilename);
    state.UninstSl = file ? std::move(*file) : ListFile{};
    if (!ContainsText(state.UninstSl.lines, state.UninstFilename)) {
      state.UninstSl.lines.push_back(state.UninstFilename);
    }
    return;
  }
  const auto& lines = state.UninstSl.lines;
  if (lines.empty() || (lines.size() == 1 && SameText(lines[0], state.UninstFilename))) return;
  SaveListFile(state.UninstFilename, state.UninstSl);
}
