// HTTP downloads with libcurl: one easy handle per client, so the connection
// is kept alive and the server's cookies are sent back for the whole run.
#include "network/http_client.h"

#include <curl/curl.h>

#include "platform/file_system.h"
#include "platform/replacing_write.h"
#include "platform/retry.h"

namespace {

constexpr const char* kUserAgent = "Mozilla/3.0 (compatible; Indy Library)";
constexpr const char* kAcceptHeader =
    "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
constexpr long kConnectTimeoutMs = 10000;
// A request that delivers less than one byte per second for this long has
// stalled; the download phase then counts it as one failed attempt.
constexpr long kStallSeconds = 30;
constexpr long kReceiveBufferBytes = 256 * 1024;

bool IsSuccessStatus(long status) { return status >= 200 && status <= 299; }

}  // namespace

// ---- Client state ----

struct THttpClient::Impl {
  CURL* handle = nullptr;
  curl_slist* headers = nullptr;
  std::FILE* target = nullptr;
  const std::function<void()>* onWork = nullptr;
};

namespace {

// Only a success response's body reaches the file; an error page is read and
// dropped so that the connection stays usable for the next request.
size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto& impl = *static_cast<THttpClient::Impl*>(user);
  long status = 0;
  curl_easy_getinfo(impl.handle, CURLINFO_RESPONSE_CODE, &status);
  if (!IsSuccessStatus(status)) return size * count;
  return std::fwrite(data, size, count, impl.target) * size;
}

int ReportWork(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto& impl = *static_cast<THttpClient::Impl*>(user);
  if (*impl.onWork) (*impl.onWork)();
  return 0;
}

}  // namespace

// ---- Set-up ----

THttpClient::THttpClient() : impl_(std::make_unique<Impl>()) {
  impl_->onWork = &onWork;
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
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
  curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, impl_.get());
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, ReportWork);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, impl_.get());
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
}

THttpClient::~THttpClient() {
  if (impl_->handle != nullptr) curl_easy_cleanup(impl_->handle);
  curl_slist_free_all(impl_->headers);
}

// ---- Requests ----

bool THttpClient::Get(const std::string& encodedUrl, std::FILE* target) {
  CURL* handle = impl_->handle;
  if (handle == nullptr || target == nullptr) return false;
  impl_->target = target;
  curl_easy_setopt(handle, CURLOPT_URL, encodedUrl.c_str());
  const CURLcode result = curl_easy_perform(handle);
  impl_->target = nullptr;
  if (result != CURLE_OK) return false;  // cut connection, short body, stall

  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  if (!IsSuccessStatus(status)) return false;
  curl_off_t announced = -1;
  curl_off_t received = 0;
  curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
  curl_easy_getinfo(handle, CURLINFO_SIZE_DOWNLOAD_T, &received);
  if (announced >= 0 && announced != received) return false;
  return std::fflush(target) == 0 && std::ferror(target) == 0;
}

// ---- One-off downloads ----

bool DownloadUrlToFile(const std::string& url, const std::string& path) {
  // Fetched beside the target and put in its place only when complete, so a
  // failed download leaves an older copy intact.
  const std::string partial = TemporaryNameBeside(path);
  std::FILE* file = OpenFile(partial, FileOpenMode::CreateNew);
  if (file == nullptr) return false;
  THttpClient client;
  bool complete = client.Get(url, file) && FlushFileToDisk(file);
  complete = std::fclose(file) == 0 && complete;
  if (complete && ReplaceFileWith(partial, path)) return true;
  DeleteFileWithRetries(partial);
  return false;
}
