// HTTP downloads with libcurl: one easy handle per client, so the connection
// is kept alive and the server's cookies are sent back for the whole run.
#include "network/http_client.h"

#include <curl/curl.h>

#include <chrono>

#include "network/transfer_loop.h"
#include "platform/file_system.h"
#include "platform/replacing_write.h"
#include "platform/retry.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kUserAgent = "Mozilla/3.0 (compatible; Indy Library)";
constexpr const char* kAcceptHeader =
    "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
constexpr long kConnectTimeoutMs = 10000;
constexpr long kReceiveBufferBytes = 256 * 1024;
// A request that receives nothing for this long has stalled; one that
// receives less than the floor over a window is dripping, which is the same.
constexpr auto kStallLimit = std::chrono::seconds(20);
constexpr auto kRateWindow = std::chrono::seconds(20);
constexpr std::int64_t kLeastBytesPerWindow = 512 * 20;
// A cancel does not wait for a request that has received nothing this long.
constexpr auto kCancelIdle = std::chrono::seconds(1);

bool IsSuccessStatus(long status) { return status >= 200 && status <= 299; }

}  // namespace

// ---- Client state ----

struct THttpClient::Impl {
  CURL* handle = nullptr;
  CURLM* multi = nullptr;
  curl_slist* headers = nullptr;

  // The running request.
  std::FILE* target = nullptr;
  std::int64_t expectedSize = kAnySize;
  std::int64_t written = 0;
  Clock::time_point lastArrival;
  Clock::time_point windowStart;
  std::int64_t windowBytes = 0;

  void Start(std::FILE* file, std::int64_t expected) {
    target = file;
    expectedSize = expected;
    written = 0;
    lastArrival = windowStart = Clock::now();
    windowBytes = 0;
  }
};

namespace {

// Only a success response's body reaches the file; an error page is read and
// dropped so that the connection stays usable for the next request. A body
// past the expected size ends the request before any of it is written.
size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto& impl = *static_cast<THttpClient::Impl*>(user);
  const std::size_t bytes = size * count;
  impl.lastArrival = Clock::now();
  impl.windowBytes += static_cast<std::int64_t>(bytes);
  long status = 0;
  curl_easy_getinfo(impl.handle, CURLINFO_RESPONSE_CODE, &status);
  if (!IsSuccessStatus(status)) return bytes;
  if (impl.expectedSize != kAnySize &&
      impl.written + static_cast<std::int64_t>(bytes) > impl.expectedSize) {
    return 0;
  }
  const std::size_t stored = std::fwrite(data, 1, bytes, impl.target);
  impl.written += static_cast<std::int64_t>(stored);
  return stored;
}

}  // namespace

// ---- Set-up ----

THttpClient::THttpClient() : impl_(std::make_unique<Impl>()) {
  impl_->multi = curl_multi_init();
  CURL* handle = impl_->handle = curl_easy_init();
  if (handle == nullptr) return;
  impl_->headers = curl_slist_append(nullptr, kAcceptHeader);
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, impl_->headers);
  curl_easy_setopt(handle, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "");  // cookie engine, nothing read
  curl_easy_setopt(handle, CURLOPT_PROXY, "");       // never the environment's proxy
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
  curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, impl_.get());
}

THttpClient::~THttpClient() {
  if (impl_->multi != nullptr) curl_multi_cleanup(impl_->multi);
  if (impl_->handle != nullptr) curl_easy_cleanup(impl_->handle);
  curl_slist_free_all(impl_->headers);
}

// ---- Requests ----

HttpOutcome THttpClient::Get(const std::string& encodedUrl, std::FILE* target,
                             std::int64_t expectedSize) {
  Impl& impl = *impl_;
  if (impl.handle == nullptr || target == nullptr) return HttpOutcome::Failed;
  impl.Start(target, expectedSize);
  curl_easy_setopt(impl.handle, CURLOPT_URL, encodedUrl.c_str());

  HttpOutcome stoppedAs = HttpOutcome::Failed;
  const auto stop = [&] {
    const Clock::time_point now = Clock::now();
    if (cancelRequested && cancelRequested() && now - impl.lastArrival >= kCancelIdle) {
      stoppedAs = HttpOutcome::Cancelled;
      return true;
    }
    if (now - impl.lastArrival >= kStallLimit) {
      stoppedAs = HttpOutcome::Stalled;
      return true;
    }
    if (now - impl.windowStart >= kRateWindow) {
      if (impl.windowBytes < kLeastBytesPerWindow) {
        stoppedAs = HttpOutcome::Stalled;
        return true;
      }
      impl.windowStart = now;
      impl.windowBytes = 0;
    }
    return false;
  };
  const CURLcode result = PerformAnswering(impl.multi, impl.handle, onWork, stop);
  impl.target = nullptr;
  if (result == CURLE_ABORTED_BY_CALLBACK) return stoppedAs;
  if (result != CURLE_OK) return HttpOutcome::Failed;  // cut connection, short body, too long

  long status = 0;
  curl_easy_getinfo(impl.handle, CURLINFO_RESPONSE_CODE, &status);
  if (!IsSuccessStatus(status)) return HttpOutcome::Failed;
  curl_off_t announced = -1;
  curl_off_t received = 0;
  curl_easy_getinfo(impl.handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
  curl_easy_getinfo(impl.handle, CURLINFO_SIZE_DOWNLOAD_T, &received);
  if (announced >= 0 && announced != received) return HttpOutcome::Failed;
  if (expectedSize != kAnySize && impl.written != expectedSize) return HttpOutcome::Failed;
  if (std::fflush(target) != 0 || std::ferror(target) != 0) return HttpOutcome::Failed;
  return HttpOutcome::Complete;
}

// ---- One-off downloads ----

bool DownloadUrlToFile(const std::string& url, const std::string& path) {
  // Fetched beside the target and put in its place only when complete, so a
  // failed download leaves an older copy intact.
  const std::string partial = TemporaryNameBeside(path);
  std::FILE* file = OpenFile(partial, FileOpenMode::CreateNew);
  if (file == nullptr) return false;
  THttpClient client;
  bool complete = client.Get(url, file) == HttpOutcome::Complete && FlushFileToDisk(file);
  complete = std::fclose(file) == 0 && complete;
  if (complete && ReplaceFileWith(partial, path)) return true;
  DeleteFileWithRetries(partial);
  return false;
}
