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
#include "platform/sha256.h"
#include "resources/texts.h"
#include "run/releases.h"
#include "run/run_folders.h"

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
  // Kept bytes are resumed into what is installed: nobody else may have put
  // any there.
  if (!state.DownloadFiles.empty()) {
    const std::string refusal = PrepareRunFolder(PartialDownloadsOf(state.DownloadOrdner));
    if (!refusal.empty()) {
      run.Fail(refusal);
      return NextStep::Close;
    }
  }
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
      // Its path in the release: the download folder mirrors the server folder.
      const std::string releasePath = BackslashToSlash(target.substr(state.DownloadOrdner.size()));
      const FetchResult fetched =
          HttpDownloadFile(state, run, http, url, target, file.Size, file.Sha256);
      if (fetched == FetchResult::NotAuthentic) {
        RefuseRelease(state, run, FormatText(kMsgFileNotAuthentic, {releasePath}));
        return NextStep::Close;
      }
      if (fetched == FetchResult::Failed) {
        // Retries given up for a cancel are no failure of the download.
        if (!state.CancelS) run.Fail(kMsgDownloadFailed);
        return NextStep::Close;
      }
      if (!file.Sha256.empty()) state.CheckedDownloads.insert(releasePath);
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

FetchResult HttpDownloadFile(RunState& state, RunContext& run, THttpClient& http,
                             const std::string& url, const std::string& target,
                             std::int64_t expectedSize, const std::string& sha256) {
  const std::string encoded = UrlEncode(url);
  // What the folder holds under the name is of another version: it goes now,
  // so that nothing but the whole new file can be installed from there.
  if (FileExists(target)) {
    ClearFileAttributes(target);
    if (!DeleteFileWithRetries(target)) return FetchResult::Failed;
  }
  PartialDownload partial(state.DownloadOrdner, target);
  for (int failed = 0, stalled = 0;;) {
    HttpResume resume;
    std::FILE* file = partial.Open(expectedSize, resume);
    if (file == nullptr) return FetchResult::Failed;
    // The hash follows the body into the file; a body that continues kept
    // bytes continues their hash, read once from the disk.
    Sha256 hash;
    Sha256 keptHash;
    const bool keptHashed =
        !sha256.empty() && resume.offset > 0 && partial.HashKept(keptHash, resume.offset);
    HttpBodyWatch watch;
    if (!sha256.empty()) {
      watch.starts = [&](std::int64_t start) {
        hash = start > 0 && keptHashed ? keptHash : Sha256();
      };
      watch.arrived = [&](const char* data, std::size_t size) {
        hash.Add(data, size);
        return true;
      };
    }
    const HttpOutcome outcome = http.Get(encoded, file, expectedSize, resume, watch);
    // Data that never reaches the disk is no download either.
    const bool closed = std::fclose(file) == 0;
    if (outcome == HttpOutcome::Complete && closed) {
      run.ProcessMessages();
      if (!sha256.empty() && hash.HexDigest() != sha256) {
        partial.Discard();
        return FetchResult::NotAuthentic;
      }
      return partial.Complete() ? FetchResult::Fetched : FetchResult::Failed;
    }
    partial.Keep(http.LastBodyValidator());
    if (outcome == HttpOutcome::Stalled) ++stalled;
    if (++failed >= kDownloadAttempts || stalled >= kStalledAttempts || state.CancelS) {
      return FetchResult::Failed;
    }
    PauseAnsweringMs(kAttemptPauseMs);
  }
}

}  // namespace download
