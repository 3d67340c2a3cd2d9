// The end of every run: the uninstall list, the outcome message, the offer to
// start the main program, the run's temporary files, or the restart from the
// second copy.
#include "app/haupt.h"
#include "deployment.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/retry.h"
#include "platform/strings.h"
#include "platform/window_messages.h"
#include "resources/texts.h"

std::string OutcomeMessage(TStatus status, const std::string& productName) {
  switch (status) {
    case TStatus::sNoUpdated:
      return FormatText(kMsgNotUpdated, {productName}) + kHomePage;
    case TStatus::sYesUpdated:
      return FormatText(kMsgUpdated, {productName});
    case TStatus::sIsUpdated:
      return FormatText(kMsgAlreadyCurrent, {productName});
    case TStatus::sError:
      break;
  }
  return FormatText(kMsgError, {productName}) + kHomePage;
}

// ---- Uninstall list ----

void TForm1::SyncUninstList(bool load) {
  if (load) {
    std::optional<ListFile> file;
    if (FileExists(UninstFilename)) file = ReadListFile(UninstFilename);
    UninstSl = file ? std::move(*file) : ListFile{};
    if (!ContainsText(UninstSl.lines, UninstFilename)) UninstSl.lines.push_back(UninstFilename);
    return;
  }
  const auto& lines = UninstSl.lines;
  if (lines.empty() || (lines.size() == 1 && SameText(lines[0], UninstFilename))) return;
  SaveListFile(UninstFilename, UninstSl);
}

// ---- Close handler ----

void TForm1::FormClose() {
  IsClosing = true;
  SyncUninstList(false);
  if (Ftp1.Connected()) Ftp1.Disconnect();
  if (FensterTitel.empty()) return;

  if (StartUpdater2S && !CancelS) {
    // Quoted so that a configuration name with blanks arrives whole; "/M" in
    // the copy's third place keeps it in the notification area.
    std::string parameters = QuoteArgument(Argument(1));
    if (frontEnd->TrayIconVisible()) parameters += " \"\" /M";
    // The copy must not take this closing instance for a running one.
    if (releaseInstanceGuard) releaseInstanceGuard();
    RunProgram(InstallOrdner + kSecondCopyName + kExeSuffix, parameters, "", "open", 1);
    return;
  }

  SetTrayMode(false);
  const std::string productName = CfgSl.lines.size() > 3 ? CfgSl.lines[3] : "";
  const std::string outcome = OutcomeMessage(Status, productName);
  if (FindWindowByTitleEnd(FensterTitel) != 0) {
    frontEnd->ShowInformation(outcome);
  } else if (frontEnd->AskQuestion(outcome + "\r\n" + kQuestionStartProgram)) {
    RunProgram(NativeSeparators(CfgSl.lines[2]), "", "", "open", 1);
  }
  DeleteRunFiles();
}

void TForm1::DeleteRunFiles() {
  for (const std::string& file : {CfgFilename, VergleichFilename, JobsFilename}) {
    if (!file.empty()) DeleteFileWithRetries(file);
  }
}
