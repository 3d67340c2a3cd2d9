// The discovery phase: configuration, the install-only start, the download
// folder, the administrator and internet questions, then the connection to
// the update server or, when it cannot be reached, the self-update route.
#include "app/haupt.h"
#include "deployment.h"
#include "download/http_client.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/strings.h"
#include "platform/system_info.h"
#include "resources/texts.h"

namespace {

// How the tick ends besides running on into a later phase.
enum class TickEnd { Continue, CloseWindow };

// ---- Connection ----

// A second copy that cannot reach the server would fetch itself once more
// and restart into itself again, without end; Windows refuses to overwrite
// the running program, and here the route is barred to the same effect.
bool RunsAsSecondCopy(const TForm1& form) {
  return SameText(form.OwnExeName(), std::string(kSecondCopyName) + kExeSuffix);
}

// FTP first; when that fails, fresh copies of the updater over HTTP, unless
// the install-only argument or the second copy bars that route. At most two
// attempts.
TickEnd ConnectToServer(TForm1& form) {
  for (;;) {
    form.AnnounceStatus(kTextConnecting);
    if (form.ConnectNr == 1) {
      form.Ftp1.SetAccount(kFtpUser, kFtpPassword);
      if (form.Ftp1.Connect()) {
        form.Ftp1AfterClientLogin();
        return TickEnd::Continue;
      }
    } else if (!SameText(form.Argument(2), "/U") && !RunsAsSecondCopy(form) &&
               form.DownloadSelfUpdate()) {
      form.StartUpdater2S = true;
      return TickEnd::CloseWindow;
    }
    if (form.ConnectNr == 2) {
      form.Fail(kMsgNoConnection);
      return TickEnd::Continue;
    }
    form.ConnectNr = 2;
  }
}

// ---- The checks before connecting ----

TickEnd Discover(TForm1& form) {
  form.SyncUninstList(true);
  if (!form.LoadConfig()) {
    form.CancelS = true;
    return TickEnd::Continue;
  }
  if (SameText(form.Argument(2), "/U") && FileExists(form.VergleichFilename)) {
    form.frontEnd->SetTimerEnabled(3, true);
    return TickEnd::Continue;
  }
  if (!ForceDirectories(form.DownloadOrdner)) {
    form.Fail(kMsgDownloadFolder);
    return TickEnd::Continue;
  }
  if (!IsUserAdmin(form.InstallOrdner) &&
      !form.Confirm(FormatText(kQuestionNoAdmin, {GetCurrentUserName()}))) {
    return TickEnd::Continue;
  }
  if (!IsInternetConnected() && !form.Confirm(kQuestionOffline)) return TickEnd::Continue;
  return ConnectToServer(form);
}

}  // namespace

// ---- Phase ----

void TForm1::Timer1Timer() {
  frontEnd->SetTimerEnabled(1, false);
  if (SameText(Argument(3), "/M")) SetTrayMode(true);
  // One close at most: the self-update route closes with CancelS clear so
  // that the close handler starts the second copy.
  if (Discover(*this) == TickEnd::CloseWindow || CancelS) CloseWindow();
}

// ---- Self-update ----

bool TForm1::DownloadSelfUpdate() {
  const std::string secondCopy = InstallOrdner + kSecondCopyName + kExeSuffix;
  const std::string firstCopy = DownloadOrdner + kFirstCopyName + kExeSuffix;
  for (const std::string& copy : {secondCopy, firstCopy}) {
    if (FileExists(copy)) ClearFileAttributes(copy);
  }
  const std::string source = std::string(kSelfUpdateAddress) + kSelfUpdatePath;
  const bool downloaded =
      DownloadUrlToFile(source + kSecondCopyName + kExeSuffix, secondCopy) &&
      MarkExecutable(secondCopy) &&
      DownloadUrlToFile(source + kFirstCopyName + kExeSuffix, firstCopy) &&
      MarkExecutable(firstCopy);
  // The product's uninstaller removes what the list names.
  if (FileExists(secondCopy) && !ContainsText(UninstSl.lines, secondCopy)) {
    UninstSl.lines.push_back(secondCopy);
  }
  return downloaded;
}
