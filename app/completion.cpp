// The end of every run: the uninstall list, the outcome message, the offer to
// start the main program, the run's temporary files, or the restart from the
// second copy.
#include "app/haupt.h"
#include "base/strings.h"
#include "deployment.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/retry.h"
#include "platform/window_messages.h"
#include "resources/texts.h"
#include "run/config.h"

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

std::string ProductName(const RunState& state) {
  return state.CfgSl.lines.size() > 3 ? state.CfgSl.lines[3] : "";
}

// ---- Close handler ----

void TForm1::FormClose() {
  IsClosing = true;
  SyncUninstList(state_, false);
  if (Ftp1.Connected()) Ftp1.Disconnect();
  if (state_.FensterTitel.empty()) return;

  if (state_.StartUpdater2S && !state_.CancelS) {
    Log("outcome", "restart from the second copy");
    // Quoted so that a configuration name with blanks arrives whole; "/M" in
    // the copy's third place keeps it in the notification area.
    std::string parameters = QuoteArgument(state_.Argument(1));
    if (frontEnd->TrayIconVisible()) parameters += " \"\" /M";
    // The copy must not take this closing instance for a running one.
    if (releaseInstanceGuard) releaseInstanceGuard();
    StartProgram(state_.InstallOrdner + kSecondCopyName + kExeSuffix, parameters);
    return;
  }

  SetTrayMode(false);
  const std::string outcome = OutcomeMessage(state_.Status, ProductName(state_));
  Log("outcome", outcome);
  if (FindWindowByTitleEnd(state_.FensterTitel) != 0) {
    frontEnd->ShowInformation(outcome);
  } else if (frontEnd->AskQuestion(outcome + "\r\n" + kQuestionStartProgram)) {
    StartProgram(NativeSeparators(state_.CfgSl.lines[2]), "");
  }
  DeleteRunFiles();
}

void TForm1::DeleteRunFiles() {
  for (const std::string& file :
       {state_.CfgFilename, state_.VergleichFilename, state_.JobsFilename}) {
    if (!file.empty()) DeleteFileWithRetries(file);
  }
}
