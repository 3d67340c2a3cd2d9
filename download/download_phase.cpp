// The download phase: every listed file is fetched over HTTP into the download
// folder and given the server's date, so the next run finds it complete.
#include <cstdio>
#include <exception>

#include "base/strings.h"
#include "deployment.h"
#include "download/download.h"
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
  if (FileExists(target)) ClearFileAttributes(target);
  for (int failed = 0, stalled = 0;;) {
    std::FILE* file = OpenFile(target, FileOpenMode::CreateExclusive);
    if (file == nullptr) return false;
    const HttpOutcome outcome = http.Get(encoded, file, expectedSize);
    if (outcome == HttpOutcome::Complete) {
      run.ProcessMessages();
      // Data that never reaches the disk is no download either.
      if (std::fclose(file) == 0) return true;
    } else {
      std::fclose(file);
    }
    if (outcome == HttpOutcome::Stalled) ++stalled;
    if (++failed >= kDownloadAttempts || stalled >= kStalledAttempts || state.CancelS) {
      DeleteFileWithRetries(target);
      return false;
    }
    PauseAnsweringMs(kAttemptPauseMs);
  }
}

}  // namespace download
