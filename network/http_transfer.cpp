#include "network/http_transfer.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "network/tls_policy_curl.h"
#include "platform/file_system.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kAcceptHeader =
    "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
// A request that receives nothing for this long has stalled; one that
// drips (RateFloor) has too.
constexpr auto kStallLimit = std::chrono::seconds(20);

constexpr long kPartialContent = 206;
constexpr long kRangeNotSatisfiable = 416;

bool IsSuccessStatus(long status) { return status >= 200 && status <= 299; }

// The value when the header line has that name (any letter case), else "".
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

}  // namespace

HttpTransfer::HttpTransfer(CURL* handle, const HttpRequest& request, const TlsPolicy& tls)
    : handle_(handle), request_(request), lastArrival_(Clock::now()) {
  floor_.Restart();
  ApplyTlsPolicy(handle_, tls);
  curl_easy_setopt(handle_, CURLOPT_URL, request_.encodedUrl.c_str());
  curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(handle_, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(handle_, CURLOPT_HEADERFUNCTION, ReadHeader);
  curl_easy_setopt(handle_, CURLOPT_HEADERDATA, this);
  headerLines_ = curl_slist_append(nullptr, kAcceptHeader);
  // The rest of the kept bytes, if the server still has their version.
  if (request_.resume.Continuable()) {
    const std::string range = "Range: bytes=" + std::to_string(request_.resume.offset) + "-";
    headerLines_ = curl_slist_append(headerLines_, range.c_str());
    headerLines_ =
        curl_slist_append(headerLines_, ("If-Range: " + request_.resume.validator).c_str());
  }
  curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, headerLines_);
}

HttpTransfer::~HttpTransfer() {
  curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, nullptr);
  curl_slist_free_all(headerLines_);
}

// ---- The response ----

long HttpTransfer::Status() const {
  long status = 0;
  curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &status);
  return status;
}

// Each response's head; curl hands over one line at a time, the status line
// first and an empty line last.
size_t HttpTransfer::ReadHeader(char* data, size_t size, size_t count, void* user) {
  auto& transfer = *static_cast<HttpTransfer*>(user);
  const std::string line(data, size * count);
  HttpVersionHeaders& head = transfer.version_;
  if (line.rfind("HTTP/", 0) == 0) {
    head = {};
  } else if (line == "\r\n" || line == "\n") {
    transfer.answered_ = true;
  } else if (std::string value = HeaderValue(line, "ETag"); !value.empty()) {
    head.etag = std::move(value);
  } else if (std::string date = HeaderValue(line, "Last-Modified"); !date.empty()) {
    head.lastModified = std::move(date);
  } else if (std::string now = HeaderValue(line, "Date"); !now.empty()) {
    head.date = std::move(now);
  } else if (std::string range = HeaderValue(line, "Content-Range"); !range.empty()) {
    head.contentRange = std::move(range);
  }
  return size * count;
}

// Where a success response's body goes: after the kept bytes when it is
// their rest, else from the start, and what vouches for it. False for a
// body that may not go into the file.
bool HttpTransfer::BeginBody(long status) {
  if (status == kPartialContent) {
    if (!ContinuesKeptBytes(request_.resume, version_)) {
      keptRefused_ = true;
      return false;
    }
    base_ = request_.resume.offset;
    bodyVersion_ = request_.resume;
  } else {
    // What the file held is not of this body's version.
    if (!TruncateFile(request_.target, 0)) return false;
    base_ = 0;
    curl_off_t length = -1;
    curl_easy_getinfo(handle_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    bodyVersion_.validator = ResumeValidator(version_);
    bodyVersion_.total = request_.expectedSize != kAnySize ? request_.expectedSize
                         : length >= 0                     ? static_cast<std::int64_t>(length)
                                                           : kAnySize;
  }
  if (request_.watch.starts) request_.watch.starts(base_);
  return true;
}

// Only a success response's body reaches the file; an error page is read and
// dropped so that the connection stays usable for the next request. A body
// past the size allowed ends the request before any of it is written.
size_t HttpTransfer::WriteBody(char* data, size_t size, size_t count, void* user) {
  auto& transfer = *static_cast<HttpTransfer*>(user);
  // At least one write a turn; curl keeps the rest for the next.
  if (transfer.wroteInTurn_ && Clock::now() >= transfer.turnEnd_) {
    transfer.paused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  transfer.wroteInTurn_ = true;
  const HttpRequest& request = transfer.request_;
  const std::size_t bytes = size * count;
  transfer.lastArrival_ = Clock::now();
  transfer.floor_.Arrived(bytes);
  const long status = transfer.Status();
  if (!IsSuccessStatus(status)) return bytes;
  if (transfer.base_ < 0 && !transfer.BeginBody(status)) return 0;
  const std::int64_t allowed =
      request.expectedSize != kAnySize ? request.expectedSize : request.sizeLimit;
  if (allowed != kAnySize &&
      transfer.base_ + transfer.written_ + static_cast<std::int64_t>(bytes) > allowed) {
    return 0;
  }
  const std::size_t stored = std::fwrite(data, 1, bytes, request.target);
  transfer.written_ += static_cast<std::int64_t>(stored);
  if (request.watch.arrived) request.watch.arrived(data, stored);
  return stored;
}

bool HttpTransfer::BeginTurn(Clock::time_point end) {
  turnEnd_ = end;
  wroteInTurn_ = false;
  if (!paused_) return false;
  paused_ = false;
  curl_easy_pause(handle_, CURLPAUSE_CONT);
  return true;
}

// ---- The end ----

bool HttpTransfer::IsComplete(CURLcode result) {
  // A cut connection, a short body or one too long.
  if (result != CURLE_OK || !IsSuccessStatus(Status())) return false;
  curl_off_t announced = -1;
  curl_off_t received = 0;
  curl_easy_getinfo(handle_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
  curl_easy_getinfo(handle_, CURLINFO_SIZE_DOWNLOAD_T, &received);
  if (announced >= 0 && announced != received) return false;
  // No body at all: the kept bytes, if any, are still there.
  if (base_ < 0 && (request_.resume.offset > 0 || request_.expectedSize > 0)) return false;
  if (request_.expectedSize != kAnySize &&
      std::max<std::int64_t>(base_, 0) + written_ != request_.expectedSize) {
    return false;
  }
  return std::fflush(request_.target) == 0 && std::ferror(request_.target) == 0;
}

HttpResult HttpTransfer::Finish(CURLcode result) {
  if (Status() == kRangeNotSatisfiable) keptRefused_ = true;
  return Result(IsComplete(result) ? HttpOutcome::Complete : HttpOutcome::Failed);
}

HttpResult HttpTransfer::Stop(HttpOutcome outcome) { return Result(outcome); }

HttpResult HttpTransfer::Result(HttpOutcome outcome) const {
  HttpResult result{outcome, request_.resume};
  if (base_ >= 0) {
    result.kept = bodyVersion_;
    result.kept.offset = base_ + written_;
  } else if (keptRefused_) {
    result.kept.validator.clear();
  }
  return result;
}

bool HttpTransfer::Stalled() {
  return Clock::now() - lastArrival_ >= kStallLimit || floor_.Dripping();
}

std::int64_t HttpTransfer::Held() const {
  return base_ >= 0 ? base_ + written_ : request_.resume.offset;
}
