// Having the main program closed before its files are replaced: the user is
// asked, the program is asked through its window, and its mutex is watched.
// Nothing is ever killed, and the wait has no time limit but the cancel.
#include "app/haupt.h"
#include "platform/process.h"
#include "platform/strings.h"
#include "platform/window_messages.h"
#include "resources/texts.h"

namespace {

constexpr int kSettleMs = 750;
constexpr int kWaitPassMs = 25;

}  // namespace

bool TForm1::CloseMainProgram() {
  SleepMs(kSettleMs);
  // The updater comes to the front before anything is asked.
  const WindowHandle own = FindWindowByTitleEnd(InstanceTitle);
  if (own != 0 && !frontEnd->TrayIconVisible()) SendWindowMessage(own, WM_SHOWREQUEST);

  if (!MutexExists(MutexTitel)) return !CancelS;

  SetTrayMode(false);
  // Only the answer decides here; the caller sets CancelS on a refusal.
  if (!frontEnd->AskQuestion(FormatText(kQuestionCloseMainProgram, {MutexTitel}))) return false;

  const WindowHandle mainWindow = FindWindowByTitleEnd(FensterTitel);
  if (mainWindow == 0) return !CancelS;

  AnnounceStatus(kTextClosingMainProgram);
  SendWindowMessage(mainWindow, WM_SHOWREQUEST);
  SleepMs(kSettleMs);
  SendWindowMessage(mainWindow, WM_CLOSEREQUEST);
  SleepMs(kSettleMs);

  // The program has ended when it gives up its mutex.
  while (MutexExists(MutexTitel) && !CancelS) {
    frontEnd->ProcessMessages();
    SleepMs(kWaitPassMs);
  }
  SleepMs(kSettleMs);
  return !CancelS;
}
