// The installation phase: job file, archives, install list, jobs, shortcuts,
// closing the main program, verification and copying, cleanup and the
// uninstall entry. It always ends the run by closing the window.
#include "app/haupt.h"
#include "install/copied_marker.h"
#include "platform/file_system.h"
#include "platform/list_file.h"
#include "platform/retry.h"
#include "resources/texts.h"

namespace {

// The job file is consumed whatever happens next: it is read, then deleted.
void ConsumeJobFile(TForm1& form) {
  form.JobsSl = ListFile{};
  if (!FileExists(form.JobsFilename)) return;
  if (std::optional<ListFile> jobs = ReadListFile(form.JobsFilename)) form.JobsSl = *jobs;
  DeleteFileWithRetries(form.JobsFilename);
}

TStatus NothingToCopyStatus(const TForm1& form) {
  return CopiedMarker(form) == "1" ? TStatus::sYesUpdated : TStatus::sIsUpdated;
}

// ---- From the marker check to the copy ----

// Every way out leaves CancelS or StartUpdater2S set.
void InstallSteps(TForm1& form) {
  if (CopiedMarker(form) == "-1") {
    form.Status = TStatus::sError;
    form.CancelS = true;
    return;
  }
  if (!form.ExtractArchives()) {
    form.Fail(kMsgExtractFailed);
    return;
  }
  form.BuildInstallList();
  form.RunJobs();
  form.RewriteShortcuts();
  form.KopiereS = true;
  form.BuildInstallList();
  if (form.OrdnerFiles.empty()) {
    form.Status = NothingToCopyStatus(form);
    form.CancelS = true;
    return;
  }
  if (!form.CloseMainProgram()) {
    form.CancelS = true;
    return;
  }
  form.AnnounceStatus(kTextVerifying);
  if (form.CancelS) return;
  if (!form.VerifyFiles()) {
    form.CancelS = true;
    return;
  }
  // Verification has removed every file equal to the installed one.
  form.BuildInstallList();
  if (form.OrdnerFiles.empty()) {
    form.Status = NothingToCopyStatus(form);
    form.ShowProgress(100, ProgressHint::Pruefe);
  } else {
    form.ShowProgress(0, ProgressHint::Kopiere);
    form.AnnounceStatus(kTextCopying);
    if (form.CopyFiles()) {
      form.Status = TStatus::sYesUpdated;
      form.ShowProgress(100, ProgressHint::Kopiere);
    }
    // What is left waits in the download folder for the second copy.
    if (form.StartUpdater2S) return;
  }
  form.RemoveEmptyFolders(form.DownloadOrdner);
  form.CancelS = true;
}

}  // namespace

void TForm1::Timer3Timer() {
  frontEnd->SetTimerEnabled(3, false);
  DownloadFiles.clear();
  ShowProgress(0, ProgressHint::Kopiere);
  ConsumeJobFile(*this);
  try {
    InstallSteps(*this);
  } catch (const std::exception&) {
    // Whatever goes wrong on the way still ends the run with the error.
    Fail(kMsgCopyFailed);
  }
  RemoveDir(DownloadOrdner);
  if (Status == TStatus::sYesUpdated) UpdateUninstallEntry();
  if (CancelS || StartUpdater2S) CloseWindow();
}
