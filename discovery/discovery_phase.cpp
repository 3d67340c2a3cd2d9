// The discovery phase: configuration, the install-only start, the download
// folder, the administrator and internet questions, then the connection to
// the update server or, when it cannot be reached, the self-update route.
#include "base/strings.h"
#include "deployment.h"
#include "discovery/discovery.h"
#include "network/http_download.h"
#include "platform/file_system.h"
#include "platform/locale.h"
#include "platform/paths.h"
#include "platform/system_failure.h"
#include "platform/system_info.h"
#include "resources/texts.h"
#include "run/config.h"
#include "run/install_journal.h"
#include "run/installed_record.h"
#include "run/releases.h"
#include "run/run_folders.h"

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
NextStep ConnectToServer(RunState& state, RunContext& run, TFtpClient& ftp, THttpClient& http) {
  // Why the last route tried failed.
  Failure why;
  for (;;) {
    run.AnnounceStatus(kTextConnecting);
    if (state.ConnectNr == 1) {
      ftp.SetAccount(kFtpUser, kFtpPassword);
      if (ftp.Connect()) return Ftp1AfterClientLogin(state, run, ftp, http);
      why = ftp.LastFailure();
    } else if (!SameText(state.Argument(2), "/U") && !RunsAsSecondCopy(state)) {
      try {
        const std::optional<Failure> notFetched = DownloadSelfUpdate(state, http);
        if (!notFetched) {
          // The close handler starts the second copy.
          state.StartUpdater2S = true;
          return NextStep::Close;
        }
        why = *notFetched;
      } catch (const ReleaseRefused& refusal) {
        RefuseRelease(state, run, refusal.refusal());
        return NextStep::Close;
      }
    }
    // A cancel meanwhile ends the connecting as a cancel, not as a failure.
    if (state.CancelS) return NextStep::Close;
    if (state.ConnectNr == 2) {
      run.Fail(kMsgNoConnection, why);
      return NextStep::Close;
    }
    state.ConnectNr = 2;
  }
}

// One copy of the updater from the self-update address, through the one
// download path (what arrived of it waits beside the download folder); with
// release keys it takes its place only when it is what the updater folder's
// manifest lists (ReleaseRefused otherwise). Why it did not; nullopt when it did.
std::optional<Failure> FetchUpdaterCopy(const RunState& state, THttpClient& http,
                                        const std::string& source, const char* name,
                                        const std::string& path) {
  const std::string file = std::string(name) + kExeSuffix;
  HttpDownload copy;
  copy.url = source + file;
  copy.target = path;
  copy.keptFolder = PartialDownloadsOf(state.DownloadOrdner);
  // Programs that start soon: on the disk before they take their place.
  copy.durable = true;
  if (!state.ReleaseKeys.empty()) {
    const ReleaseManifest& manifest = state.Releases.at(ReleaseFolder::Updater);
    const auto released = manifest.files.find(file);
    if (released == manifest.files.end()) throw ReleaseRefused(FileNotReleased(file));
    copy.size = released->second.size;
    copy.sha256 = released->second.sha256;
  }
  const DownloadEnd end = DownloadFile(http, copy);
  if (end.result == DownloadResult::NotAuthentic) {
    throw ReleaseRefused(RunFailure{FormatText(kMsgFileNotAuthentic, {file}), end.failure});
  }
  if (end.result != DownloadResult::Fetched) return end.failure;
  if (!MarkExecutable(path)) return LastSystemFailure("mark executable", path);
  return std::nullopt;
}

// ---- The checks before connecting ----

NextStep Discover(RunState& state, RunContext& run, TFtpClient& ftp, THttpClient& http) {
  SyncUninstList(state, true);
  if (!LoadConfig(state, run)) {
    state.CancelS = true;
    return NextStep::Close;
  }
  // What the download folder holds is installed with the updater's rights,
  // by the install-only start too, so nobody else may have written there.
  const std::optional<RunFailure> refusal = PrepareRunFolder(state.DownloadOrdner);
  // A run killed while its files were landing is completed before anything
  // else looks at the installation folder; what it had moved out of the
  // download folder goes back there once that is the updater's own.
  RecoverInstallation(state.InstallOrdner, refusal ? "" : state.DownloadOrdner);
  if (refusal) {
    run.Fail(refusal->message, refusal->cause);
    return NextStep::Close;
  }
  if (!state.ReleaseKeys.empty()) {
    state.Installed = ReadInstalledRecord(state.InstalledRecordFilename());
  }
  if (SameText(state.Argument(2), "/U") && FileExists(state.VergleichFilename)) {
    return NextStep::Install;
  }
  if (!IsUserAdmin(state.InstallOrdner) &&
      !run.Confirm(FormatText(kQuestionNoAdmin, {GetCurrentUserName()}))) {
    return NextStep::Close;
  }
  if (!IsInternetConnected() && !run.Confirm(kQuestionOffline)) return NextStep::Close;
  return ConnectToServer(state, run, ftp, http);
}

}  // namespace

// ---- Phase ----

NextStep Timer1Timer(RunState& state, RunContext& run, TFtpClient& ftp, THttpClient& http) {
  if (SameText(state.Argument(3), "/M")) run.SetTrayMode(true);
  const NextStep next = Discover(state, run, ftp, http);
  return state.CancelS ? NextStep::Close : next;
}

// ---- Self-update ----

std::optional<Failure> DownloadSelfUpdate(RunState& state, THttpClient& http) {
  const std::string secondCopy = state.InstallOrdner + kSecondCopyName + kExeSuffix;
  const std::string firstCopy = state.DownloadOrdner + kFirstCopyName + kExeSuffix;
  for (const std::string& copy : {secondCopy, firstCopy}) {
    if (FileExists(copy)) ClearFileAttributes(copy);
  }
  const std::string source = std::string(kSelfUpdateAddress) + kSelfUpdatePath;
  if (!state.ReleaseKeys.empty()) {
    ReleaseAcceptance release =
        AcceptRelease(state, http, source + kReleaseManifestName, ReleaseFolder::Updater);
    // A server that gives no manifest is a route that failed; a cancel
    // meanwhile ends it too.
    if (state.CancelS) return Failure{FailureKind::Cancelled, FailureCode::None, 0, "", "", ""};
    if (release.outcome == ReleaseFetch::NotFetched) return release.failure.cause;
    if (release.outcome == ReleaseFetch::Refused) throw ReleaseRefused(std::move(release.failure));
  }
  // The first copy waits in the download folder, so it comes first: a
  // refused one leaves no second copy in the installation folder.
  std::optional<Failure> notFetched =
      FetchUpdaterCopy(state, http, source, kFirstCopyName, firstCopy);
  if (!notFetched) notFetched = FetchUpdaterCopy(state, http, source, kSecondCopyName, secondCopy);
  // Both copies are the release's: it has landed as far as this route
  // takes it.
  if (!notFetched && !state.ReleaseKeys.empty()) {
    if (auto refusal = RaiseReleaseFloor(state, ReleaseFolder::Updater)) {
      throw ReleaseRefused(std::move(*refusal));
    }
  }
  // The product's uninstaller removes what the list names.
  if (FileExists(secondCopy) && !ContainsText(state.UninstSl.lines, secondCopy)) {
    state.UninstSl.lines.push_back(secondCopy);
  }
  return notFetched;
}

}  // namespace discovery
