// The discovery phase: configuration, the install-only start, the download
// folder, the administrator and internet questions, then the connection to
// the update server or, when it cannot be reached, the self-update route.
#include "base/strings.h"
#include "deployment.h"
#include "discovery/discovery.h"
#include "platform/file_system.h"
#include "platform/locale.h"
#include "platform/paths.h"
#include "platform/system_info.h"
#include "resources/texts.h"
#include "run/config.h"
#include "run/install_journal.h"

namespace discovery {

namespace {

// ---- Connection ----

// A second copy that cannot reach the server would fetch itself once more
// and restart into itself again, without end; Windows refuses to overwrite
// the running program, and here the route is barred to the same effect.
bool RunsAsSecondCopy(const RunState& state) {
  return SameText(state.OwnExeName(), std::string(kSecondCopyName) + kExeSuffix);
}

// FTP first; when that fails, fresh copies of the updater over HTTP, unless
// the install-only argument or the second copy bars that route. At most two
// attempts.
NextStep ConnectToServer(RunState& state, RunContext& run, TFtpClient& ftp) {
  for (;;) {
    run.AnnounceStatus(kTextConnecting);
    if (state.ConnectNr == 1) {
      ftp.SetAccount(kFtpUser, kFtpPassword);
      if (ftp.Connect()) return Ftp1AfterClientLogin(state, run, ftp);
    } else if (!SameText(state.Argument(2), "/U") && !RunsAsSecondCopy(state) &&
               DownloadSelfUpdate(state)) {
      // The close handler starts the second copy.
      state.StartUpdater2S = true;
      return NextStep::Close;
    }
    if (state.ConnectNr == 2) {
      run.Fail(kMsgNoConnection);
      return NextStep::Close;
    }
    state.ConnectNr = 2;
  }
}

// ---- The checks before connecting ----

NextStep Discover(RunState& state, RunContext& run, TFtpClient& ftp) {
  SyncUninstList(state, true);
  if (!LoadConfig(state, run)) {
    state.CancelS = true;
    return NextStep::Close;
  }
  // A run killed while its files were landing is completed before anything
  // else looks at the installation folder.
  RecoverInstallation(state.InstallOrdner);
  if (SameText(state.Argument(2), "/U") && FileExists(state.VergleichFilename)) {
    return NextStep::Install;
  }
  if (!ForceDirectories(state.DownloadOrdner)) {
    run.Fail(kMsgDownloadFolder);
    return NextStep::Close;
  }
  if (!IsUserAdmin(state.InstallOrdner) &&
      !run.Confirm(FormatText(kQuestionNoAdmin, {GetCurrentUserName()}))) {
    return NextStep::Close;
  }
  if (!IsInternetConnected() && !run.Confirm(kQuestionOffline)) return NextStep::Close;
  return ConnectToServer(state, run, ftp);
}

}  // namespace

// ---- Phase ----

NextStep Timer1Timer(RunState& state, RunContext& run, TFtpClient& ftp) {
  if (SameText(state.Argument(3), "/M")) run.SetTrayMode(true);
  const NextStep next = Discover(state, run, ftp);
  return state.CancelS ? NextStep::Close : next;
}

// ---- Self-update ----

bool DownloadSelfUpdate(RunState& state) {
  const std::string secondCopy = state.InstallOrdner + kSecondCopyName + kExeSuffix;
  const std::string firstCopy = state.DownloadOrdner + kFirstCopyName + kExeSuffix;
  for (const std::string& copy : {secondCopy, firstCopy}) {
    if (FileExists(copy)) ClearFileAttributes(copy);
  }
  const std::string source = std::string(kSelfUpdateAddress) + kSelfUpdatePath;
  const bool downloaded = DownloadUrlToFile(source + kSecondCopyName + kExeSuffix, secondCopy) &&
                          MarkExecutable(secondCopy) &&
                          DownloadUrlToFile(source + kFirstCopyName + kExeSuffix, firstCopy) &&
                          MarkExecutable(firstCopy);
  // The product's uninstaller removes what the list names.
  if (FileExists(secondCopy) && !ContainsText(state.UninstSl.lines, secondCopy)) {
    state.UninstSl.lines.push_back(secondCopy);
  }
  return downloaded;
}

}  // namespace discovery
