// The download phase: every listed file is fetched over HTTP into the download
// folder and given the server's date, so the next run finds it complete.
#include <cstdio>
#include <exception>

#include "base/strings.h"
#include "deployment.h"
#include "download/download.h"
#include "download/partial_download.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/retry.h"
#include "resources/texts.h"

namespace download {

namespace {

constexpr int kDownloadAttempts = 50;
// Attempts that end because the server stopped delivering last their whole
// stall time: few of them, so that a hopeless server ends the run within
// about two minutes, while quick failures keep their many attempts.
constexpr int kStalledAttempts = 4;
constexpr int kAttemptPauseMs = 25;

// ---- The list ----

NextStep DownloadAll(RunState& state, RunContext& run, THttpClient& http) {
  run.AnnounceStatus(kTextDownloading);
  try {
    for (std::size_t i = 0; i < state.DownloadFiles.size(); ++i) {
      const TDownloadFile file = state.DownloadFiles[i];
      run.ProcessMessages();
      if (!ForceDirectories(file.DownOrdner)) {
        run.Fail(kMsgDownloadFolder);
        return NextStep::Close;
      }
      const std::string url = kUpdateWebAddress + StripLeadingSlash(file.ServOrdner) + file.Name;
      const std::string target = file.DownOrdner + file.Name;
      if (!HttpDownloadFile(state, run, http, url, target, file.Size)) {
        // Retries given up for a cancel are no failure of the download.
        if (!state.CancelS) run.Fail(kMsgDownloadFailed);
        return NextStep::Close;
      }
      state.AktSize += file.Size;
      run.ShowProgress(static_cast<int>(CalcPercent(100, state.MaxSize, state.AktSize)),
                       ProgressHint::Lade);
      if (FileExists(target)) SetFileDateWithRetries(target, file.Datum);
      if (state.CancelS) return NextStep::Close;
    }
    RemovePartialDownloads(state.DownloadOrdner);
    run.ShowProgress(100, ProgressHint::Lade);
    run.AnnounceStatus(kTextDownloaded);
    return state.CancelS ? NextStep::Close : NextStep::Install;
  } catch (const std::exception&) {
    run.Fail(kMsgDownloadFailed);
    return NextStep::Close;
  }
}

}  // namespace

// ---- Phase ----

NextStep Timer2Timer(RunState& state, RunContext& run, THttpClient& http) {
  run.ShowProgress(0, ProgressHint::Lade);
  return DownloadAll(state, run, http);
}

// ---- One file ----

bool HttpDownloadFile(RunState& state, RunContext& run, THttpClient& http, const std::string& url,
                      const std::string& target, std::int64_t expectedSize) {
  const std::string encoded = UrlEncode(url);
  // What the folder holds under the name is of another version: it goes now,
  // so that nothing but the whole new file can be installed from there.
  if (FileExists(target)) {
    ClearFileAttributes(target);
    if (!DeleteFileWithRetries(target)) return false;
  }
  PartialDownload partial(state.DownloadOrdner, target);
  for (int failed = 0, stalled = 0;;) {
    HttpResume resume;
    std::FILE* file = partial.Open(expectedSize, resume);
    if (file == nullptr) return false;
    const HttpOutcome outcome = http.Get(encoded, file, expectedSize, resume);
    // Data that never reaches the disk is no download either.
    const bool closed = std::fclose(file) == 0;
    if (outcome == HttpOutcome::Complete && closed) {
      run.ProcessMessages();
      return partial.Complete();
    }
    partial.Keep(http.LastBodyValidator());
    if (outcome == HttpOutcome::Stalled) ++stalled;
    if (++failed >= kDownloadAttempts || stalled >= kStalledAttempts || state.CancelS) {
      return false;
    }
    PauseAnsweringMs(kAttemptPauseMs);
  }
}

}  // namespace download
