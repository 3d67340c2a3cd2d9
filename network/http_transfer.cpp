#include "network/http_transfer.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "network/curl_callback.h"
#include "network/curl_failure.h"
#include "network/tls_policy_curl.h"
#include "platform/file_system.h"
#include "platform/system_failure.h"

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

// "Not Found" of "HTTP/1.1 404 Not Found"; HTTP/2 sends none.
std::string ReasonOf(const std::string& statusLine) {
  const std::size_t status = statusLine.find(' ');
  const std::size_t reason =
      statusLine.find(' ', status == std::string::npos ? status : status + 1);
  if (status == std::string::npos || reason == std::string::npos) return "";
  const std::size_t end = statusLine.find_last_not_of("\r\n ");
  return end < reason + 1 ? "" : statusLine.substr(reason + 1, end - reason);
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
  curl_easy_setopt(handle_, CURLOPT_ERRORBUFFER, curlError_);
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
  curl_easy_setopt(handle_, CURLOPT_ERRORBUFFER, nullptr);
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
  return GuardCallback(transfer.callbackFailed_,
                       [&] { return transfer.TakeHeader(data, size * count); });
}

size_t HttpTransfer::TakeHeader(const char* data, std::size_t bytes) {
  const std::string line(data, bytes);
  HttpVersionHeaders& head = version_;
  if (line.rfind("HTTP/", 0) == 0) {
    head = {};
    reason_ = ReasonOf(line);
  } else if (line == "\r\n" || line == "\n") {
    answered_ = true;
  } else if (std::string value = HeaderValue(line, "ETag"); !value.empty()) {
    head.etag = std::move(value);
  } else if (std::string date = HeaderValue(line, "Last-Modified"); !date.empty()) {
    head.lastModified = std::move(date);
  } else if (std::string now = HeaderValue(line, "Date"); !now.empty()) {
    head.date = std::move(now);
  } else if (std::string range = HeaderValue(line, "Content-Range"); !range.empty()) {
    head.contentRange = std::move(range);
  }
  return bytes;
}

// Where a success response's body goes: after the kept bytes when it is
// their rest, else from the start, and what vouches for it. False for a
// body that may not go into the file.
bool HttpTransfer::BeginBody(long status) {
  if (status == kPartialContent) {
    if (!ContinuesKeptBytes(request_.resume, version_)) {
      keptRefused_ = true;
      bodyFailure_ =
          TransferFailure(FailureKind::ServerAnswer, "its 206 does not continue the kept bytes");
      return false;
    }
    base_ = request_.resume.offset;
    bodyVersion_ = request_.resume;
  } else {
    // What the file held is not of this body's version.
    if (!TruncateFile(request_.target, 0)) {
      bodyFailure_ = LastSystemFailure("write", request_.targetPath);
      return false;
    }
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
  return GuardCallback(transfer.callbackFailed_,
                       [&] { return transfer.TakeBody(data, size * count); });
}

std::size_t HttpTransfer::TakeBody(const char* data, std::size_t bytes) {
  // At least one write a turn; curl keeps the rest for the next.
  if (wroteInTurn_ && Clock::now() >= turnEnd_) {
    paused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  wroteInTurn_ = true;
  lastArrival_ = Clock::now();
  floor_.Arrived(bytes);
  const long status = Status();
  if (!IsSuccessStatus(status)) return bytes;
  if (base_ < 0 && !BeginBody(status)) return 0;
  const std::int64_t allowed =
      request_.expectedSize != kAnySize ? request_.expectedSize : request_.sizeLimit;
  if (allowed != kAnySize && base_ + written_ + static_cast<std::int64_t>(bytes) > allowed) {
    bodyFailure_ = TransferFailure(FailureKind::Size,
                                   "body longer than " + std::to_string(allowed) + " bytes");
    return 0;
  }
  const std::size_t stored = std::fwrite(data, 1, bytes, request_.target);
  if (stored != bytes) bodyFailure_ = LastSystemFailure("write", request_.targetPath);
  written_ += static_cast<std::int64_t>(stored);
  if (request_.watch.arrived) request_.watch.arrived(data, stored);
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

Failure HttpTransfer::TransferFailure(FailureKind kind, const std::string& detail) const {
  return {kind, FailureCode::None, 0, "download", request_.encodedUrl, detail};
}

std::optional<Failure> HttpTransfer::Shortfall(CURLcode result) {
  // What the body's way into the file found is nearer the cause than the
  // write error curl makes of it.
  if (callbackFailed_) return TransferFailure(FailureKind::System, "its callback threw");
  if (bodyFailure_) return bodyFailure_;
  if (result != CURLE_OK) {
    return FailureFromCurl(result, curlError_, "download", request_.encodedUrl);
  }
  if (const long status = Status(); !IsSuccessStatus(status)) {
    return FailureFromHttpStatus(status, reason_, "download", request_.encodedUrl);
  }
  curl_off_t announced = -1;
  curl_off_t received = 0;
  curl_easy_getinfo(handle_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
  curl_easy_getinfo(handle_, CURLINFO_SIZE_DOWNLOAD_T, &received);
  if (announced >= 0 && announced != received) {
    return TransferFailure(FailureKind::Size, std::to_string(received) + " of " +
                                                  std::to_string(announced) + " bytes announced");
  }
  // No body at all: the kept bytes, if any, are still there.
  if (base_ < 0 && (request_.resume.offset > 0 || request_.expectedSize > 0)) {
    return TransferFailure(FailureKind::Size, "no body");
  }
  const std::int64_t held = std::max<std::int64_t>(base_, 0) + written_;
  if (request_.expectedSize != kAnySize && held != request_.expectedSize) {
    return TransferFailure(
        FailureKind::Size,
        std::to_string(held) + " of " + std::to_string(request_.expectedSize) + " bytes listed");
  }
  if (std::fflush(request_.target) != 0 || std::ferror(request_.target) != 0) {
    return LastSystemFailure("write", request_.targetPath);
  }
  return std::nullopt;
}

HttpResult HttpTransfer::Finish(CURLcode result) {
  if (Status() == kRangeNotSatisfiable) keptRefused_ = true;
  std::optional<Failure> shortfall = Shortfall(result);
  if (!shortfall) return Result(HttpOutcome::Complete, {});
  return Result(HttpOutcome::Failed, std::move(*shortfall));
}

HttpResult HttpTransfer::Stop(HttpOutcome outcome) {
  return Result(outcome,
                outcome == HttpOutcome::Stalled
                    ? TransferFailure(FailureKind::Network, "the server stopped delivering")
                    : TransferFailure(FailureKind::Cancelled, ""));
}

HttpResult HttpTransfer::Result(HttpOutcome outcome, Failure failure) const {
  HttpResult result{outcome, request_.resume, std::move(failure)};
  if (base_ >= 0) {
    result.kept = bodyVersion_;
    result.kept.offset = base_ + written_;
  } else if (keptRefused_) {
    result.kept.validator.clear();
  }
  // After a failed callback the watchers may not have seen every kept byte.
  if (callbackFailed_) result.kept.validator.clear();
  return result;
}

bool HttpTransfer::Stalled() {
  return Clock::now() - lastArrival_ >= kStallLimit || floor_.Dripping();
}

std::int64_t HttpTransfer::Held() const {
  return base_ >= 0 ? base_ + written_ : request_.resume.offset;
}
