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
      if (!HttpDownloadFile(state, run, http, url, target)) {
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
                      const std::string& target) {
  const std::string encoded = UrlEncode(url);
  if (FileExists(target)) ClearFileAttributes(target);
  for (int failed = 0;;) {
    std::FILE* file = OpenFile(target, FileOpenMode::CreateExclusive);
    if (file == nullptr) return false;
    if (http.Get(encoded, file)) {
      run.ProcessMessages();
      // Data that never reaches the disk is no download either.
      if (std::fclose(file) == 0) return true;
    } else {
      PauseAnsweringMs(kAttemptPauseMs);
      std::fclose(file);
    }
    // A stalled server makes each attempt last the whole stall time, so a
    // cancel is not left waiting for the last of them.
    if (++failed >= kDownloadAttempts || state.CancelS) {
      DeleteFileWithRetries(target);
      return false;
    }
  }
}

}  // namespace download
