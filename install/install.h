// The installation phase: job file, archives, install list, jobs, shortcuts,
// closing the main program, verification and copying, cleanup and the
// uninstall entry.
#pragma once

#include <string>
#include <vector>

#include "platform/file_info.h"
#include "run/install_journal.h"
#include "run/run_context.h"
#include "run/run_state.h"

namespace install {

// Always ends the run.
NextStep Timer3Timer(RunState& state, RunContext& run);

// ---- Signed releases ----
// False after the refusal when a file waiting to be installed is not one an
// accepted manifest lists with its bytes; true without release keys. The
// run then knows the signed hash of every waiting file.
bool CheckWaitingFiles(RunState& state, RunContext& run);
// With release keys, what an archive unpacked (full paths below the
// download folder) joins the record an install-only start checks it
// against, and the run knows its hash; false when it cannot be recorded.
bool RecordUnpacked(RunState& state, const std::vector<std::string>& unpackedFiles);
// Once the update has landed, the accepted releases' numbers become the
// floor; false after the failure message when one cannot be kept.
bool RaiseReleaseFloors(RunState& state, RunContext& run);

// ---- Archives ----
// Every "*.zip" at the top of the download folder, unpacked in place and
// deleted; false when one cannot be unpacked.
bool ExtractArchives(RunState& state, RunContext& run);
bool ExtractArchive(RunState& state, RunContext& run, const std::string& zipFileName);

// ---- The install list ----
// Every file waiting in the download folder, with what only a restart can
// replace at the front.
void BuildInstallList(RunState& state);
void CollectFiles(RunState& state, const std::string& folder);
void MoveToFront(RunState& state, const std::string& name);
// Only empty folders go; files are never deleted here.
void RemoveEmptyFolders(const std::string& folder);

// ---- Jobs and shortcuts ----
void RunJobs(RunState& state);
void RewriteShortcuts();

// ---- Closing the main program ----
// False when the user refuses or the run is cancelled meanwhile.
bool CloseMainProgram(RunState& state, RunContext& run);

// ---- Verification and copying ----
// Drops from the list (and deletes) every download that equals the
// installed file.
bool VerifyFiles(RunState& state, RunContext& run);
bool FilesIdentical(RunState& state, RunContext& run, const std::string& fileA,
                    const std::string& fileB);
bool CopyFiles(RunState& state, RunContext& run);
// One file staged for the update: its entry, what it will be once it has
// landed, and whether its download was moved in (and so is gone).
struct StagedFile {
  std::string entry;
  FileFacts facts;
  bool moved = false;
};
// Stages one downloaded file of the update in the journal's staging folder,
// moved there where it can be, else copied; false after the failure message,
// or when a cancel stopped the copy (nothing of it stays staged).
bool CopyOneFile(RunState& state, RunContext& run, InstallJournal& journal,
                 const TListedFile& listed, StagedFile& file);

// ---- The uninstall entry ----
void UpdateUninstallEntry(const RunState& state);
std::string GetMainProgramVersion(const RunState& state);

}  // namespace install
