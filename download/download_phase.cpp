// The download phase: every listed file is fetched over HTTP into the download
// folder and given the server's date, so the next run finds it complete.
#include <cstdio>
#include <exception>

#include "app/haupt.h"
#include "deployment.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/retry.h"
#include "platform/strings.h"
#include "resources/texts.h"

namespace {

constexpr int kDownloadAttempts = 50;
constexpr int kAttemptPauseMs = 25;

// ---- The list ----

void DownloadAll(TForm1& form) {
  form.AnnounceStatus(kTextDownloading);
  try {
    for (std::size_t i = 0; i < form.DownloadFiles.size(); ++i) {
      const TDownloadFile file = form.DownloadFiles[i];
      form.frontEnd->ProcessMessages();
      if (!ForceDirectories(file.DownOrdner)) {
        form.Fail(kMsgDownloadFolder);
        return;
      }
      const std::string url = kUpdateWebAddress + StripLeadingSlash(file.ServOrdner) + file.Name;
      const std::string target = file.DownOrdner + file.Name;
      if (!form.HttpDownloadFile(url, target)) {
        // Retries given up for a cancel are no failure of the download.
        if (!form.CancelS) form.Fail(kMsgDownloadFailed);
        return;
      }
      form.AktSize += file.Size;
      form.ShowProgress(static_cast<int>(CalcPercent(100, form.MaxSize, form.AktSize)),
                        ProgressHint::Lade);
      if (FileExists(target)) SetFileDateWithRetries(target, file.Datum);
      if (form.CancelS) return;
    }
    form.ShowProgress(100, ProgressHint::Lade);
    form.AnnounceStatus(kTextDownloaded);
    if (!form.CancelS) form.frontEnd->SetTimerEnabled(3, true);
  } catch (const std::exception&) {
    form.Fail(kMsgDownloadFailed);
  }
}

}  // namespace

// ---- Phase ----

void TForm1::Timer2Timer() {
  frontEnd->SetTimerEnabled(2, false);
  ShowProgress(0, ProgressHint::Lade);
  DownloadAll(*this);
  if (CancelS) CloseWindow();
}

// ---- One file ----

bool TForm1::HttpDownloadFile(const std::string& url, const std::string& target) {
  const std::string encoded = UrlEncode(url);
  if (FileExists(target)) ClearFileAttributes(target);
  for (int failed = 0;;) {
    std::FILE* file = OpenFile(target, FileOpenMode::CreateExclusive);
    if (file == nullptr) return false;
    if (HTTP1.Get(encoded, file)) {
      SleepMs(1);
      frontEnd->ProcessMessages();
      // Data that never reaches the disk is no download either.
      if (std::fclose(file) == 0) return true;
    } else {
      SleepMs(kAttemptPauseMs);
      std::fclose(file);
    }
    // A stalled server makes each attempt last the whole stall time, so a
    // cancel is not left waiting for the last of them.
    if (++failed >= kDownloadAttempts || CancelS) {
      DeleteFileWithRetries(target);
      return false;
    }
  }
}
