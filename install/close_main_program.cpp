// Having the main program closed before its files are replaced: the user is
// asked, the program is asked through its window, and its mutex is watched.
// Nothing is ever killed, and the wait has no time limit but the cancel.
#include "base/strings.h"
#include "install/install.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/window_messages.h"
#include "resources/texts.h"

namespace install {

namespace {

// The windows settle between the steps; the updater's own keeps answering
// meanwhile, so the screen reader can read it.
constexpr int kSettleMs = 750;
constexpr int kWaitPassMs = 25;

}  // namespace

bool CloseMainProgram(RunState& state, RunContext& run) {
  // A main program that is ending by itself gets the time to let go of its
  // mutex before the user is asked; when none runs there is nothing to
  // settle, and an installation without one starts at once.
  const bool mainProgramSeen = MutexExists(state.MutexTitel);
  if (mainProgramSeen) PauseAnsweringMs(kSettleMs);
  // The updater comes to the front before anything is asked.
  const WindowHandle own = FindWindowByTitleEnd(state.InstanceTitle);
  if (own != 0 && !run.InTray()) SendWindowMessage(own, WM_SHOWREQUEST);

  if (!mainProgramSeen || !MutexExists(state.MutexTitel)) return !state.CancelS;

  // Only the answer decides here; the caller sets CancelS on a refusal.
  if (!run.Ask(FormatText(kQuestionCloseMainProgram, {state.MutexTitel}))) return false;

  const WindowHandle mainWindow = FindWindowByTitleEnd(state.FensterTitel);
  if (mainWindow == 0) return !state.CancelS;

  run.AnnounceStatus(kTextClosingMainProgram);
  SendWindowMessage(mainWindow, WM_SHOWREQUEST);
  PauseAnsweringMs(kSettleMs);
  SendWindowMessage(mainWindow, WM_CLOSEREQUEST);
  PauseAnsweringMs(kSettleMs);

  // The program has ended when it gives up its mutex.
  while (MutexExists(state.MutexTitel) && !state.CancelS) {
    run.ProcessMessages();
    PauseAnsweringMs(kWaitPassMs);
  }
  PauseAnsweringMs(kSettleMs);
  return !state.CancelS;
}

}  // namespace install
