// The archives of an update: every "*.zip" at the top of the download folder
// is unpacked in place and then deleted.
#include "base/strings.h"
#include "install/install.h"
#include "install/zip_extract.h"
#include "platform/file_system.h"
#include "platform/locale.h"
#include "platform/paths.h"
#include "platform/retry.h"
#include "resources/texts.h"

namespace install {

namespace {

// The "*.zip" pattern, any letter case (Daten.ZIP too).
bool IsArchiveName(const std::string& name) {
  constexpr std::size_t kExtensionLength = 4;
  return name.size() >= kExtensionLength &&
         SameText(std::string_view(name).substr(name.size() - kExtensionLength), ".zip");
}

}  // namespace

// ---- All archives ----

bool ExtractArchives(RunState& state, RunContext& run) {
  for (const DirEntry& entry : ListDirectory(state.DownloadOrdner)) {
    if (entry.isDirectory || !IsArchiveName(entry.name)) continue;
    if (!ExtractArchive(state, run, state.DownloadOrdner + entry.name)) return false;
    // Cancelled between two archives: the rest stay packed, the phase ends.
    if (state.CancelS) return true;
  }
  return true;
}

// ---- One archive ----

bool ExtractArchive(RunState& state, RunContext& run, const std::string& zipFileName) {
  const std::string previousStatus = run.StatusText();
  run.AnnounceStatus(kTextExtracting);
  std::vector<std::string> unpacked;
  // Recorded before the archive goes: an install-only start trusts what it
  // unpacked through the archive's checked bytes.
  bool extracted = ExtractZipArchive(zipFileName, ExtractFilePath(zipFileName), unpacked) &&
                   RecordUnpacked(state, unpacked);
  if (state.CancelS) {
    // A cancel, noticed here or during the unpacking, keeps the archive for
    // the next run.
    extracted = false;
  } else {
    // Unpacked, or damaged: a damaged one is fetched again by the next run
    // instead of failing every run after it.
    DeleteFileWithRetries(zipFileName);
  }
  run.AnnounceStatus(previousStatus);
  return extracted;
}

}  // namespace install
