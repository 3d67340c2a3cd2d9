#include "network/http_download.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

#include "network/partial_download.h"
#include "network/transfer_loop.h"
#include "platform/clock.h"
#include "platform/sha256.h"

namespace {

constexpr int kDownloadAttempts = 50;
// Attempts that end because the server stopped delivering last their whole
// stall time: few of them, so that a hopeless server ends the run within
// about two minutes, while quick failures keep their many attempts.
constexpr int kStalledAttempts = 4;
constexpr int kAttemptPauseMs = 25;
// Files fetched at once: a small file costs about a round trip, so over a
// slow link the time is the files over this number; enough to hide that
// and a slow file behind the others, few enough not to crowd the one
// server (HTTP/2 carries them all on one connection).
constexpr std::size_t kParallelDownloads = 16;

// One file and its attempts.
class FileAttempts {
 public:
  FileAttempts(const HttpDownload& file, std::size_t index)
      : index_(index), file_(file), partial_(file.keptFolder, file.target) {}

  // Why the kept bytes' file cannot be used; nullopt when it can.
  std::optional<Failure> Open() { return partial_.Open(file_.size, resume_, hash_); }

  // The next attempt; the hash follows the body into the file.
  HttpRequest Request() {
    HttpRequest request;
    request.encodedUrl = UrlEncode(file_.url);
    request.target = partial_.File();
    request.targetPath = partial_.Path();
    request.expectedSize = file_.size;
    request.sizeLimit = file_.sizeLimit;
    request.resume = resume_;
    request.watch.starts = [this](std::int64_t start) {
      if (start == 0) hash_ = Sha256();
    };
    request.watch.arrived = [this](const char* data, std::size_t size) { hash_.Add(data, size); };
    return request;
  }

  // The file's end after an attempt, or nullopt when another one follows;
  // Failure() says why an end other than Fetched came.
  std::optional<DownloadResult> Ended(const HttpResult& result) {
    running_.reset();
    if (result.outcome == HttpOutcome::Complete) {
      if (!file_.sha256.empty() && hash_.HexDigest() != file_.sha256) {
        partial_.Discard();
        failure_ = {FailureKind::Signature,
                    FailureCode::None,
                    0,
                    "download",
                    file_.url,
                    "SHA-256 " + hash_.HexDigest() + " is not the listed one"};
        return DownloadResult::NotAuthentic;
      }
      if (std::optional<Failure> failure = partial_.Complete(file_.durable)) {
        failure_ = std::move(*failure);
        return DownloadResult::Failed;
      }
      return DownloadResult::Fetched;
    }
    failure_ = result.failure;
    resume_ = partial_.Keep(result.kept, hash_);
    if (!resume_.Continuable()) hash_ = Sha256();
    if (result.outcome == HttpOutcome::Cancelled) return DownloadResult::Cancelled;
    if (result.outcome == HttpOutcome::Stalled) ++stalled_;
    if (++failed_ >= kDownloadAttempts || stalled_ >= kStalledAttempts) {
      return DownloadResult::Failed;
    }
    pauseLeftMs_ = kAttemptPauseMs;
    return std::nullopt;
  }

  std::size_t Index() const { return index_; }
  const Failure& WhyEnded() const { return failure_; }
  const std::optional<THttpClient::RequestId>& Running() const { return running_; }
  void Started(THttpClient::RequestId id) { running_ = id; }
  // Between attempts: how long until the next one.
  int PauseLeftMs() const { return pauseLeftMs_; }
  void Waited(int milliseconds) { pauseLeftMs_ -= milliseconds; }
  std::int64_t Held(const THttpClient& http) const {
    return running_ ? http.Held(*running_) : resume_.offset;
  }

 private:
  std::size_t index_;
  const HttpDownload& file_;
  PartialDownload partial_;
  HttpResume resume_;
  Sha256 hash_;
  std::optional<THttpClient::RequestId> running_;
  int failed_ = 0;
  int stalled_ = 0;
  int pauseLeftMs_ = 0;
  Failure failure_;
};

using Begun = std::vector<std::unique_ptr<FileAttempts>>;

FileAttempts& AttemptsOf(Begun& begun, THttpClient::RequestId id) {
  return **std::find_if(begun.begin(), begun.end(),
                        [id](const auto& attempts) { return attempts->Running() == id; });
}

// A file whose attempts end early leaves no request of the list running.
class StopsRequests {
 public:
  explicit StopsRequests(THttpClient& http) : http_(http) {}
  ~StopsRequests() { http_.StopAll(); }
  StopsRequests(const StopsRequests&) = delete;
  StopsRequests& operator=(const StopsRequests&) = delete;

 private:
  THttpClient& http_;
};

// Lets the running requests work, or, when none runs, waits out the pause
// before the next attempt; the attempts' pauses shrink by the time it took.
std::vector<THttpClient::Ended> Wait(THttpClient& http, Begun& begun) {
  int waitMs = kAnswerIntervalMs;
  for (const auto& attempts : begun) {
    if (!attempts->Running()) waitMs = std::min(waitMs, attempts->PauseLeftMs());
  }
  std::vector<THttpClient::Ended> ended;
  int waitedMs = waitMs;
  if (http.Running()) {
    const auto start = std::chrono::steady_clock::now();
    ended = http.Work(waitMs);
    waitedMs = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - start)
                                    .count());
  } else {
    PauseAnsweringMs(waitMs);
  }
  for (const auto& attempts : begun) {
    if (!attempts->Running()) attempts->Waited(waitedMs);
  }
  return ended;
}

}  // namespace

DownloadEnd DownloadFiles(THttpClient& http, const std::vector<HttpDownload>& files,
                          const DownloadEvents& events) {
  const StopsRequests stopsRequests(http);
  Begun begun;
  std::size_t next = 0;
  std::optional<DownloadEnd> end;
  while (!end) {
    if (http.CancelRequested()) {
      end = DownloadEnd{DownloadResult::Cancelled,
                        next,
                        {FailureKind::Cancelled, FailureCode::None, 0, "download", "", ""}};
      break;
    }
    // One file until the server has answered once: the others then bring
    // its cookies, and join its connection where it takes several requests.
    const std::size_t room = http.Answered() ? kParallelDownloads : 1;
    for (; begun.size() < room && next < files.size() && !end; ++next) {
      begun.push_back(std::make_unique<FileAttempts>(files[next], next));
      if (std::optional<Failure> failure = begun.back()->Open()) {
        end = DownloadEnd{DownloadResult::Failed, next, std::move(*failure)};
      }
    }
    if (end) break;
    if (begun.empty()) return {DownloadResult::Fetched, files.size(), {}};
    for (const auto& attempts : begun) {
      if (!attempts->Running() && attempts->PauseLeftMs() <= 0) {
        attempts->Started(http.Start(attempts->Request()));
      }
    }
    for (const auto& [id, result] : Wait(http, begun)) {
      FileAttempts& attempts = AttemptsOf(begun, id);
      const std::optional<DownloadResult> ended = attempts.Ended(result);
      if (!ended) continue;
      if (*ended != DownloadResult::Fetched) {
        if (!end) end = DownloadEnd{*ended, attempts.Index(), attempts.WhyEnded()};
        continue;
      }
      const std::size_t index = attempts.Index();
      begun.erase(std::find_if(begun.begin(), begun.end(),
                               [&](const auto& entry) { return entry.get() == &attempts; }));
      if (events.fetched) events.fetched(index);
    }
    if (events.held) {
      std::int64_t held = 0;
      for (const auto& attempts : begun) held += attempts->Held(http);
      events.held(held);
    }
  }
  // The others end at once; what they brought is kept.
  for (const auto& [id, result] : http.StopAll()) AttemptsOf(begun, id).Ended(result);
  return *end;
}

DownloadEnd DownloadFile(THttpClient& http, const HttpDownload& file) {
  return DownloadFiles(http, {file});
}
