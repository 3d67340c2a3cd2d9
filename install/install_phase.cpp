// The installation phase: job file, archives, install list, jobs, shortcuts,
// closing the main program, verification and copying, cleanup and the
// uninstall entry. It always ends the run.
#include "install/install.h"
#include "platform/file_system.h"
#include "platform/list_file.h"
#include "platform/retry.h"
#include "resources/texts.h"
#include "run/releases.h"

namespace install {

namespace {

// The job file is consumed whatever happens next: it is read, then deleted.
void ConsumeJobFile(RunState& state) {
  state.JobsSl = ListFile{};
  if (!FileExists(state.JobsFilename)) return;
  if (std::optional<ListFile> jobs = ReadListFile(state.JobsFilename)) state.JobsSl = *jobs;
  DeleteFileWithRetries(state.JobsFilename);
}

TStatus NothingToCopyStatus(const RunState& state) {
  return state.CopiedMarker() == "1" ? TStatus::sYesUpdated : TStatus::sIsUpdated;
}

// ---- From the marker check to the copy ----

// Every way out leaves CancelS or StartUpdater2S set.
void InstallSteps(RunState& state, RunContext& run) {
  if (state.CopiedMarker() == "-1") {
    state.Status = TStatus::sError;
    state.CancelS = true;
    return;
  }
  if (!ExtractArchives(state, run)) {
    run.Fail(kMsgExtractFailed, {FailureKind::Damaged, FailureCode::None, 0, "unpack archives in",
                                 state.DownloadOrdner, "an archive could not be unpacked"});
    return;
  }
  BuildInstallList(state);
  RunJobs(state);
  RewriteShortcuts();
  state.KopiereS = true;
  if (state.OrdnerFiles.empty()) {
    state.Status = NothingToCopyStatus(state);
    state.CancelS = true;
    return;
  }
  if (!CloseMainProgram(state, run)) {
    state.CancelS = true;
    return;
  }
  run.AnnounceStatus(kTextVerifying);
  if (state.CancelS) return;
  if (!VerifyFiles(state, run)) {
    state.CancelS = true;
    return;
  }
  // Verification has dropped every file equal to the installed one.
  if (state.OrdnerFiles.empty()) {
    state.Status = NothingToCopyStatus(state);
    run.ShowProgress(100, ProgressHint::Pruefe);
  } else {
    run.ShowProgress(0, ProgressHint::Kopiere);
    run.AnnounceStatus(kTextCopying);
    if (CopyFiles(state, run)) {
      state.Status = TStatus::sYesUpdated;
      run.ShowProgress(100, ProgressHint::Kopiere);
    }
    // What is left waits in the download folder for the second copy.
    if (state.StartUpdater2S) return;
  }
  RemoveEmptyFolders(state.DownloadOrdner);
  state.CancelS = true;
}

}  // namespace

NextStep Timer3Timer(RunState& state, RunContext& run) {
  state.DownloadFiles.clear();
  run.ShowProgress(0, ProgressHint::Kopiere);
  // The job file and the archives are the release's too: checked first.
  if (!CheckWaitingFiles(state, run)) return NextStep::Close;
  ConsumeJobFile(state);
  try {
    InstallSteps(state, run);
  } catch (const std::exception& error) {
    // Whatever goes wrong on the way still ends the run with the error.
    run.Fail(kMsgCopyFailed,
             {FailureKind::System, FailureCode::None, 0, "install", "", error.what()});
  }
  RemoveDir(state.DownloadOrdner);
  // The kept manifests vouch for what waits; once nothing waits they go.
  if (!DirectoryExists(state.DownloadOrdner)) RemoveFolderOfFiles(ReleaseFolderOf(state));
  if (state.Status == TStatus::sYesUpdated) UpdateUninstallEntry(state);
  // What waits for the second copy has not landed yet.
  const bool landed = state.Status == TStatus::sYesUpdated || state.Status == TStatus::sIsUpdated;
  if (landed && !state.StartUpdater2S) RaiseReleaseFloors(state, run);
  return NextStep::Close;
}

}  // namespace install
