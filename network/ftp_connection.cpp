#include "network/ftp_connection.h"

#include <algorithm>

#include "network/curl_callback.h"
#include "network/curl_failure.h"
#include "network/tls_policy_curl.h"

namespace {

constexpr long kTimeoutMs = 5000;
constexpr long kTimeoutSeconds = kTimeoutMs / 1000;
// A listing line or a whole listing beyond these is no folder of an update
// server: the walk fails instead of holding what a broken server sends.
constexpr std::size_t kLongestListingLine = 64 * 1024;
constexpr std::size_t kLargestListing = 16 * 1024 * 1024;

// Folder names travel in the URL: everything but unreserved characters and
// the separators is percent-encoded, so curl hands the bytes on unchanged.
std::string EncodePath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : path) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 15];
    }
  }
  return encoded;
}

class CommandList {
 public:
  explicit CommandList(const std::vector<std::string>& commands) {
    for (const std::string& command : commands) list_ = curl_slist_append(list_, command.c_str());
  }
  ~CommandList() { curl_slist_free_all(list_); }
  CommandList(const CommandList&) = delete;
  CommandList& operator=(const CommandList&) = delete;
  curl_slist* Get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

}  // namespace

FtpConnection::FtpConnection(const FtpAccount& account)
    : multi_(curl_multi_init()),
      baseUrl_("ftp://" + account.host + ":" + std::to_string(account.port)) {
  handle_ = curl_easy_init();
  if (handle_ == nullptr) return;
  curl_easy_setopt(handle_, CURLOPT_USERNAME, account.user.c_str());
  curl_easy_setopt(handle_, CURLOPT_PASSWORD, account.password.c_str());
  curl_easy_setopt(handle_, CURLOPT_PROTOCOLS_STR, "ftp");
  curl_easy_setopt(handle_, CURLOPT_PROXY, "");
  curl_easy_setopt(handle_, CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4);
  ApplyTlsPolicy(handle_, account.tls);
  curl_easy_setopt(handle_, CURLOPT_TRANSFERTEXT, 0L);
  // The listing command takes the absolute path: no CWD before it.
  curl_easy_setopt(handle_, CURLOPT_FTP_FILEMETHOD, CURLFTPMETHOD_NOCWD);
  curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle_, CURLOPT_CONNECTTIMEOUT_MS, kTimeoutMs);
  curl_easy_setopt(handle_, CURLOPT_SERVER_RESPONSE_TIMEOUT, kTimeoutSeconds);
  curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_TIME, kTimeoutSeconds);
  curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, CollectData);
  curl_easy_setopt(handle_, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(handle_, CURLOPT_HEADERFUNCTION, CollectReply);
  curl_easy_setopt(handle_, CURLOPT_HEADERDATA, this);
}

FtpConnection::~FtpConnection() {
  // The multi handle holds the connection: its cleanup sends QUIT.
  if (multi_ != nullptr) curl_multi_cleanup(multi_);
  if (handle_ != nullptr) curl_easy_cleanup(handle_);
}

// Refusing the data ends the request as failed.
std::size_t FtpConnection::TakeListingData(const char* data, std::size_t bytes) {
  floor_.Arrived(bytes);
  std::string& received = received_;
  const std::size_t lineStart = received.rfind('\n') + 1;  // 0 when there is none
  received.append(data, bytes);
  const std::size_t lastBreak = received.rfind('\n');
  const std::size_t openLine =
      received.size() - (lastBreak == std::string::npos ? 0 : lastBreak + 1);
  std::size_t longestLine = openLine;
  for (std::size_t start = lineStart, end; (end = received.find('\n', start)) != std::string::npos;
       start = end + 1) {
    longestLine = std::max(longestLine, end - start);
  }
  if (received.size() > kLargestListing || longestLine > kLongestListingLine) return 0;
  return bytes;
}

size_t FtpConnection::CollectData(char* data, size_t size, size_t count, void* user) {
  auto& connection = *static_cast<FtpConnection*>(user);
  return GuardCallback(connection.callbackFailed_,
                       [&] { return connection.TakeListingData(data, size * count); });
}

// curl hands every control reply line to the header callback.
size_t FtpConnection::CollectReply(char* data, size_t size, size_t count, void* user) {
  auto& connection = *static_cast<FtpConnection*>(user);
  return GuardCallback(connection.callbackFailed_, [&] {
    std::string line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    connection.replies_.push_back(std::move(line));
    return size * count;
  });
}

bool FtpConnection::Perform(const std::string& folder, const std::vector<std::string>& commands,
                            bool mlsd, const std::function<void()>& onWork,
                            const std::function<bool()>& stop) {
  const bool transfer = !folder.empty();
  // "%2F" keeps the folder absolute, as the server's root sees it; libcurl
  // then hands it to the listing command instead of changing into it.
  const std::string url =
      transfer ? baseUrl_ + "/%2F" + EncodePath(folder.substr(1)) : baseUrl_ + "/";
  if (handle_ == nullptr) {
    failure_ = {FailureKind::System, FailureCode::None, 0, "", url, "libcurl could not start"};
    return false;
  }
  received_.clear();
  replies_.clear();
  callbackFailed_ = false;
  const CommandList quoted(commands);
  curl_easy_setopt(handle_, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle_, CURLOPT_QUOTE, quoted.Get());
  curl_easy_setopt(handle_, CURLOPT_NOBODY, transfer ? 0L : 1L);
  curl_easy_setopt(handle_, CURLOPT_CUSTOMREQUEST, transfer && mlsd ? "MLSD" : nullptr);
  // A stall is curl's to notice (no byte for the time-out); a drip is ours.
  floor_.Restart();
  bool stopped = false;
  const CURLcode result = PerformAnswering(multi_, handle_, onWork, [&] {
    stopped = stop();
    return stopped || floor_.Dripping();
  });
  curl_easy_setopt(handle_, CURLOPT_QUOTE, nullptr);
  const char* action = transfer ? "list" : "log in to";
  if (callbackFailed_) {
    failure_ = {FailureKind::System, FailureCode::None, 0, action, url, "its callback threw"};
    return false;
  }
  if (result == CURLE_OK) return true;
  failure_ = FailureOf(result, stopped, action, url);
  return false;
}

// A refusing server's reply says more than curl's code for it.
Failure FtpConnection::FailureOf(CURLcode result, bool stopped, const std::string& action,
                                 const std::string& url) const {
  if (result == CURLE_ABORTED_BY_CALLBACK && !stopped) {
    return {FailureKind::Network,           FailureCode::None, 0, action, url,
            "the server stopped delivering"};
  }
  long reply = 0;
  curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &reply);
  if (reply < 400) return FailureFromCurl(result, "", action, url);
  // The reply's text without its number.
  const std::string last = replies_.empty() ? "" : replies_.back();
  return FailureFromFtpReply(reply, last.size() > 4 ? last.substr(4) : "", action, url);
}
