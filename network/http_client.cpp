// HTTP downloads with libcurl: one easy handle per client, so the connection
// is kept alive and the server's cookies are sent back for the whole run.
#include "network/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <exception>
#include <string>

#include "network/tls_policy_curl.h"
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
// drips (RateFloor) has too.
constexpr auto kStallLimit = std::chrono::seconds(20);
// A cancel does not wait for a request that has received nothing this long.
constexpr auto kCancelIdle = std::chrono::seconds(1);

bool IsSuccessStatus(long status) { return status >= 200 && status <= 299; }
constexpr long kPartialContent = 206;

// "Name: value" without the line end when the header line has that name
// (any letter case), else "".
std::string HeaderValue(const std::string& line, const std::string& name) {
  if (line.size() <= name.size() || line[name.size()] != ':') return "";
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(line[i])) !=
        std::tolower(static_cast<unsigned char>(name[i]))) {
      return "";
    }
  }
  const std::size_t start = line.find_first_not_of(' ', name.size() + 1);
  const std::size_t end = line.find_last_not_of("\r\n ");
  return start == std::string::npos || end < start ? "" : line.substr(start, end - start + 1);
}

// The first byte's position in "bytes 100-199/200"; -1 when it is not that.
std::int64_t ContentRangeStart(const std::string& value) {
  if (value.rfind("bytes ", 0) != 0) return -1;
  try {
    std::size_t used = 0;
    const long long start = std::stoll(value.substr(6), &used);
    return value.size() > 6 + used && value[6 + used] == '-' ? start : -1;
  } catch (const std::exception&) {
    return -1;
  }
}

}  // namespace

// ---- Client state ----

struct THttpClient::Impl {
  CURL* handle = nullptr;
  CURLM* multi = nullptr;

  // The running request.
  std::FILE* target = nullptr;
  std::int64_t expectedSize = kAnySize;
  HttpResume resume;
  const HttpBodyWatch* watch = nullptr;
  std::int64_t base = -1;  // where the body starts in the file; -1 before its first byte
  std::int64_t written = 0;
  std::string validator;  // of the body's bytes
  // What has arrived when: the stall and drip checks.
  Clock::time_point lastArrival;
  RateFloor floor;
  // The current response's headers.
  std::string etag;
  std::string lastModified;
  std::int64_t rangeStart = -1;

  void Start(std::FILE* file, std::int64_t expected, const HttpResume& from,
             const HttpBodyWatch& bodyWatch) {
    target = file;
    expectedSize = expected;
    resume = from;
    watch = &bodyWatch;
    base = -1;
    written = 0;
    validator.clear();
    lastArrival = Clock::now();
    floor.Restart();
  }
};

namespace {

// Each response's headers; curl hands over one line at a time, the status
// line first.
size_t ReadHeader(char* data, size_t size, size_t count, void* user) {
  auto& impl = *static_cast<THttpClient::Impl*>(user);
  const std::string line(data, size * count);
  if (line.rfind("HTTP/", 0) == 0) {
    impl.etag.clear();
    impl.lastModified.clear();
    impl.rangeStart = -1;
  } else if (const std::string etag = HeaderValue(line, "ETag"); !etag.empty()) {
    impl.etag = etag;
  } else if (const std::string date = HeaderValue(line, "Last-Modified"); !date.empty()) {
    impl.lastModified = date;
  } else if (const std::string range = HeaderValue(line, "Content-Range"); !range.empty()) {
    impl.rangeStart = ContentRangeStart(range);
  }
  return size * count;
}

// Where a success response's body goes: after the kept bytes when the server
// sent just the rest of them, else from the start (the kept bytes go). -1
// for a part the request did not ask for.
std::int64_t BodyStart(THttpClient::Impl& impl, long status) {
  if (status == kPartialContent) {
    return impl.resume.offset > 0 && impl.rangeStart == impl.resume.offset ? impl.resume.offset
                                                                           : -1;
  }
  if (impl.resume.offset > 0 && !TruncateFile(impl.target, 0)) return -1;
  return 0;
}

// Only a success response's body reaches the file; an error page is read and
// dropped so that the connection stays usable for the next request. A body
// past the expected size ends the request before any of it is written.
size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto& impl = *static_cast<THttpClient::Impl*>(user);
  const std::size_t bytes = size * count;
  impl.lastArrival = Clock::now();
  impl.floor.Arrived(bytes);
  long status = 0;
  curl_easy_getinfo(impl.handle, CURLINFO_RESPONSE_CODE, &status);
  if (!IsSuccessStatus(status)) return bytes;
  if (impl.base < 0) {
    impl.base = BodyStart(impl, status);
    if (impl.base < 0) return 0;
    // A weak ETag cannot vouch for single bytes; the date can.
    impl.validator =
        !impl.etag.empty() && impl.etag.rfind("W/", 0) != 0 ? impl.etag : impl.lastModified;
    if (impl.watch->starts) impl.watch->starts(impl.base);
  }
  if (impl.expectedSize != kAnySize &&
      impl.base + impl.written + static_cast<std::int64_t>(bytes) > impl.expectedSize) {
    return 0;
  }
  const std::size_t stored = std::fwrite(data, 1, bytes, impl.target);
  impl.written += static_cast<std::int64_t>(stored);
  if (impl.watch->arrived && !impl.watch->arrived(data, stored)) return 0;
  return stored;
}

}  // namespace

// ---- Set-up ----

THttpClient::THttpClient() : impl_(std::make_unique<Impl>()) {
  impl_->multi = curl_multi_init();
  CURL* handle = impl_->handle = curl_easy_init();
  if (handle == nullptr) return;
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
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, ReadHeader);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, impl_.get());
}

THttpClient::~THttpClient() {
  if (impl_->multi != nullptr) curl_multi_cleanup(impl_->multi);
  if (impl_->handle != nullptr) curl_easy_cleanup(impl_->handle);
}

// ---- Requests ----

HttpOutcome THttpClient::Get(const std::string& encodedUrl, std::FILE* target,
                             std::int64_t expectedSize, const HttpResume& resume,
                             const HttpBodyWatch& watch) {
  Impl& impl = *impl_;
  if (impl.handle == nullptr || target == nullptr) return HttpOutcome::Failed;
  impl.Start(target, expectedSize, resume, watch);
  // The program sets its policy after the window's client exists.
  ApplyTlsPolicy(impl.handle);
  curl_easy_setopt(impl.handle, CURLOPT_URL, encodedUrl.c_str());
  // The rest of the kept bytes, if they are still what the server has.
  curl_slist* headers = curl_slist_append(nullptr, kAcceptHeader);
  if (resume.offset > 0 && !resume.validator.empty()) {
    headers =
        curl_slist_append(headers, ("Range: bytes=" + std::to_string(resume.offset) + "-").c_str());
    headers = curl_slist_append(headers, ("If-Range: " + resume.validator).c_str());
  }
  curl_easy_setopt(impl.handle, CURLOPT_HTTPHEADER, headers);

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
    if (impl.floor.Dripping()) {
      stoppedAs = HttpOutcome::Stalled;
      return true;
    }
    return false;
  };
  const CURLcode result = PerformAnswering(impl.multi, impl.handle, onWork, stop);
  curl_easy_setopt(impl.handle, CURLOPT_HTTPHEADER, nullptr);
  curl_slist_free_all(headers);
  impl.target = nullptr;
  impl.watch = nullptr;
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
  if (impl.base < 0 && expectedSize > 0) return HttpOutcome::Failed;  // no body at all
  if (expectedSize != kAnySize &&
      std::max<std::int64_t>(impl.base, 0) + impl.written != expectedSize) {
    return HttpOutcome::Failed;
  }
  if (std::fflush(target) != 0 || std::ferror(target) != 0) return HttpOutcome::Failed;
  return HttpOutcome::Complete;
}

std::optional<std::string> THttpClient::LastBodyValidator() const {
  if (impl_->base < 0) return std::nullopt;
  return impl_->validator;
}

// ---- One-off downloads ----

bool DownloadUrlToFile(const std::string& url, const std::string& path, std::int64_t expectedSize,
                       const HttpBodyWatch& watch, const std::function<bool()>& accept) {
  // Fetched beside the target and put in its place only when complete, so a
  // failed download leaves an older copy intact.
  const std::string partial = TemporaryNameBeside(path);
  std::FILE* file = OpenFile(partial, FileOpenMode::CreateNew);
  if (file == nullptr) return false;
  THttpClient client;
  bool complete = client.Get(url, file, expectedSize, {}, watch) == HttpOutcome::Complete &&
                  FlushFileToDisk(file);
  complete = std::fclose(file) == 0 && complete;
  if (complete && (!accept || accept()) && ReplaceFileWith(partial, path)) return true;
  DeleteFileWithRetries(partial);
  return false;
}
