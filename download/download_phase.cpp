// The download phase: every listed file is fetched over HTTP into the download
// folder and given the server's date, so the next run finds it complete.
#include <exception>
#include <vector>

#include "base/strings.h"
#include "deployment.h"
#include "download/download.h"
#include "network/http_download.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/retry.h"
#include "platform/system_failure.h"
#include "resources/texts.h"
#include "run/releases.h"
#include "run/run_folders.h"

namespace download {

namespace {

// ---- The list ----

// Its path in the release: the download folder mirrors the server folder.
std::string ReleasePath(const RunState& state, const TDownloadFile& file) {
  return BackslashToSlash((file.DownOrdner + file.Name).substr(state.DownloadOrdner.size()));
}

// Where each listed file comes from and goes; the failure that ends the run
// when one cannot be fetched.
std::optional<RunFailure> PlanDownloads(const RunState& state,
                                        std::vector<HttpDownload>& downloads) {
  for (const TDownloadFile& file : state.DownloadFiles) {
    if (!ForceDirectories(file.DownOrdner)) {
      return RunFailure{kMsgDownloadFolder, LastSystemFailure("make folder", file.DownOrdner)};
    }
    const std::string target = file.DownOrdner + file.Name;
    // What the folder holds under the name is of another version: it goes
    // now, so that nothing but the whole new file can be installed from there.
    if (FileExists(target)) {
      ClearFileAttributes(target);
      if (!DeleteFileWithRetries(target)) {
        return RunFailure{kMsgDownloadFailed, LastSystemFailure("delete", target)};
      }
    }
    HttpDownload download;
    download.url = kUpdateWebAddress + StripLeadingSlash(file.ServOrdner) + file.Name;
    download.target = target;
    download.keptFolder = PartialDownloadsOf(state.DownloadOrdner);
    download.size = file.Size;
    download.sha256 = file.Sha256;
    downloads.push_back(std::move(download));
  }
  return std::nullopt;
}

NextStep DownloadAll(RunState& state, RunContext& run, THttpClient& http) {
  run.AnnounceStatus(kTextDownloading);
  // Kept bytes are resumed into what is installed: nobody else may have put
  // any there.
  if (!state.DownloadFiles.empty()) {
    if (const auto refusal = PrepareRunFolder(PartialDownloadsOf(state.DownloadOrdner))) {
      run.Fail(refusal->message, refusal->cause);
      return NextStep::Close;
    }
  }
  try {
    std::vector<HttpDownload> downloads;
    if (const auto failure = PlanDownloads(state, downloads)) {
      run.Fail(failure->message, failure->cause);
      return NextStep::Close;
    }
    // The bar shows the bytes of every file at once: those fetched and
    // those on their way.
    int shown = -1;
    DownloadEvents events;
    events.held = [&](std::int64_t held) {
      const int position = static_cast<int>(CalcPercent(100, state.MaxSize, state.AktSize + held));
      if (position == shown) return;
      shown = position;
      run.ShowProgress(position, ProgressHint::Lade);
    };
    events.fetched = [&](std::size_t index) {
      const TDownloadFile& file = state.DownloadFiles[index];
      if (!file.Sha256.empty()) state.CheckedDownloads.insert(ReleasePath(state, file));
      state.AktSize += file.Size;
      SetFileDateWithRetries(downloads[index].target, file.Datum);
    };
    const DownloadEnd end = DownloadFiles(http, downloads, events);
    switch (end.result) {
      case DownloadResult::Fetched:
        break;
      case DownloadResult::NotAuthentic:
        RefuseRelease(
            state, run,
            {FormatText(kMsgFileNotAuthentic, {ReleasePath(state, state.DownloadFiles[end.index])}),
             end.failure});
        return NextStep::Close;
      case DownloadResult::Failed:
        // Retries given up for a cancel are no failure of the download.
        if (!state.CancelS) run.Fail(kMsgDownloadFailed, end.failure);
        return NextStep::Close;
      case DownloadResult::Cancelled:
        return NextStep::Close;
    }
    RemoveFolderOfFiles(PartialDownloadsOf(state.DownloadOrdner));
    run.ShowProgress(100, ProgressHint::Lade);
    run.AnnounceStatus(kTextDownloaded);
    return state.CancelS ? NextStep::Close : NextStep::Install;
  } catch (const std::exception& error) {
    run.Fail(kMsgDownloadFailed,
             {FailureKind::System, FailureCode::None, 0, "download", "", error.what()});
    return NextStep::Close;
  }
}

}  // namespace

// ---- Phase ----

NextStep Timer2Timer(RunState& state, RunContext& run, THttpClient& http) {
  run.ShowProgress(0, ProgressHint::Lade);
  return DownloadAll(state, run, http);
}

}  // namespace download
