// The FTP listing connection with libcurl. One easy handle holds one logged-in
// control connection for the whole walk: every folder is one request on it
// (EPSV plus MLSD or LIST with the folder's absolute path, no CWD), so the
// server sees a single login per run. libcurl sends TYPE once per connection
// and, once EPSV failed, keeps to PASV.
#include "network/ftp_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>

#include "network/curl_callback.h"
#include "network/curl_failure.h"
#include "network/ftp_listing.h"
#include "network/tls_policy_curl.h"
#include "network/transfer_loop.h"
#include "platform/clock.h"
#include "platform/local_time.h"

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

// Unix dates in a LIST show a time instead of the year for recent files;
// the parser needs today's UTC date to place them.
DateTimeParts NowUtc() {
  constexpr double kUnixEpochDays = 25569.0;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
  return DecodeDateTime(kUnixEpochDays + static_cast<double>(seconds) / 86400.0);
}

// A FEAT reply lists one feature per line, each after a blank: " MLST
// type*;size*;", " UTF8". The feature's name in upper case, or "".
std::string FeatureName(const std::string& line) {
  if (line.empty() || line.front() != ' ') return "";
  const std::size_t start = line.find_first_not_of(' ');
  if (start == std::string::npos) return "";
  std::string name = line.substr(start, line.find(' ', start) - start);
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return name;
}

}  // namespace

// ---- Client state ----

struct TFtpClient::Impl {
  CURL* handle = nullptr;
  CURLM* multi = nullptr;
  std::string host;
  int port = 21;
  TlsPolicy tls;
  std::string user;
  std::string password;
  std::string folder = "/";
  bool loggedIn = false;
  bool offersMlsd = false;
  std::string received;  // listing data of the running request
  RateFloor floor;
  std::vector<std::string> replies;  // control replies of the running request
  Failure failure;                   // of the last request that failed
  bool callbackFailed = false;       // of the running request
  const std::function<void()>* onWork = nullptr;
  const std::function<bool()>* cancelRequested = nullptr;

  bool Cancelled() const { return *cancelRequested && (*cancelRequested)(); }

  std::string BaseUrl() const { return "ftp://" + host + ":" + std::to_string(port); }
  void Open();
  void Close();
  bool Perform(const std::string& url, curl_slist* commands, bool transfer);
  Failure FailureOf(CURLcode result, const std::string& action, const std::string& url) const;
};

namespace {

// Refusing the data ends the request as failed.
std::size_t TakeListingData(TFtpClient::Impl& impl, const char* data, std::size_t bytes) {
  impl.floor.Arrived(bytes);
  std::string& received = impl.received;
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

size_t CollectData(char* data, size_t size, size_t count, void* user) {
  auto& impl = *static_cast<TFtpClient::Impl*>(user);
  return GuardCallback(impl.callbackFailed,
                       [&] { return TakeListingData(impl, data, size * count); });
}

// curl hands every control reply line to the header callback.
size_t CollectReply(char* data, size_t size, size_t count, void* user) {
  auto& impl = *static_cast<TFtpClient::Impl*>(user);
  return GuardCallback(impl.callbackFailed, [&] {
    std::string line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    impl.replies.push_back(line);
    return size * count;
  });
}

}  // namespace

void TFtpClient::Impl::Open() {
  Close();
  multi = curl_multi_init();
  handle = curl_easy_init();
  if (handle == nullptr) return;
  curl_easy_setopt(handle, CURLOPT_USERNAME, user.c_str());
  curl_easy_setopt(handle, CURLOPT_PASSWORD, password.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "ftp");
  curl_easy_setopt(handle, CURLOPT_PROXY, "");
  curl_easy_setopt(handle, CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4);
  ApplyTlsPolicy(handle, tls);
  curl_easy_setopt(handle, CURLOPT_TRANSFERTEXT, 0L);
  // The listing command takes the absolute path: no CWD before it.
  curl_easy_setopt(handle, CURLOPT_FTP_FILEMETHOD, CURLFTPMETHOD_NOCWD);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, kTimeoutMs);
  curl_easy_setopt(handle, CURLOPT_SERVER_RESPONSE_TIMEOUT, kTimeoutSeconds);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kTimeoutSeconds);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, CollectData);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, CollectReply);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, this);
}

void TFtpClient::Impl::Close() {
  // The multi handle holds the connection: its cleanup sends QUIT and waits
  // for the answer, which a server busy with an aborted listing gives late.
  if (multi != nullptr || handle != nullptr) {
    AnswerWhileWaitingFor([this] {
      if (multi != nullptr) curl_multi_cleanup(multi);
      if (handle != nullptr) curl_easy_cleanup(handle);
      return true;
    });
  }
  multi = nullptr;
  handle = nullptr;
  loggedIn = false;
}

// One request on the kept connection: commands after the login, then either
// the listing of the URL's folder (transfer) or nothing.
bool TFtpClient::Impl::Perform(const std::string& url, curl_slist* commands, bool transfer) {
  if (handle == nullptr) {
    failure = {FailureKind::System, FailureCode::None, 0, "", url, "libcurl could not start"};
    return false;
  }
  received.clear();
  replies.clear();
  callbackFailed = false;
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_QUOTE, commands);
  curl_easy_setopt(handle, CURLOPT_NOBODY, transfer ? 0L : 1L);
  curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, transfer && offersMlsd ? "MLSD" : nullptr);
  // A stall is curl's to notice (no byte for the time-out); a drip is ours.
  floor.Restart();
  const CURLcode result =
      PerformAnswering(multi, handle, *onWork, [this] { return Cancelled() || floor.Dripping(); });
  curl_easy_setopt(handle, CURLOPT_QUOTE, nullptr);
  const char* action = transfer ? "list" : "log in to";
  if (callbackFailed) {
    failure = {FailureKind::System, FailureCode::None, 0, action, url, "its callback threw"};
    return false;
  }
  if (result != CURLE_OK) failure = FailureOf(result, action, url);
  return result == CURLE_OK;
}

// A refusing server's reply says more than curl's code for it.
Failure TFtpClient::Impl::FailureOf(CURLcode result, const std::string& action,
                                    const std::string& url) const {
  if (result == CURLE_ABORTED_BY_CALLBACK && !Cancelled()) {
    return {FailureKind::Network,           FailureCode::None, 0, action, url,
            "the server stopped delivering"};
  }
  long reply = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &reply);
  if (reply < 400) return FailureFromCurl(result, "", action, url);
  // The reply's text without its number.
  const std::string last = replies.empty() ? "" : replies.back();
  return FailureFromFtpReply(reply, last.size() > 4 ? last.substr(4) : "", action, url);
}

// ---- Set-up ----

TFtpClient::TFtpClient() : impl_(std::make_unique<Impl>()) {
  impl_->onWork = &onWork;
  impl_->cancelRequested = &cancelRequested;
}

TFtpClient::~TFtpClient() { impl_->Close(); }

void TFtpClient::Configure(const std::string& host, int port, const TlsPolicy& tls) {
  impl_->host = host;
  impl_->port = port;
  impl_->tls = tls;
}

void TFtpClient::SetAccount(const std::string& user, const std::string& password) {
  impl_->user = user;
  impl_->password = password;
}

// ---- Connection ----

bool TFtpClient::Connect() {
  Impl& impl = *impl_;
  if (impl.Cancelled()) return false;
  impl.Open();
  impl.offersMlsd = false;
  // The leading "*" lets a server without FEAT still count as logged in.
  curl_slist* feat = curl_slist_append(nullptr, "*FEAT");
  const bool loggedIn = impl.Perform(impl.BaseUrl() + "/", feat, false);
  curl_slist_free_all(feat);
  if (!loggedIn) {
    impl.Close();
    return false;
  }
  impl.loggedIn = true;
  bool offersUtf8 = false;
  for (const std::string& reply : impl.replies) {
    const std::string feature = FeatureName(reply);
    impl.offersMlsd = impl.offersMlsd || feature == "MLSD" || feature == "MLST";
    offersUtf8 = offersUtf8 || feature == "UTF8";
  }
  if (offersUtf8) {
    curl_slist* utf8 = curl_slist_append(nullptr, "*OPTS UTF8 ON");
    impl.Perform(impl.BaseUrl() + "/", utf8, false);
    curl_slist_free_all(utf8);
  }
  return true;
}

bool TFtpClient::Connected() const { return impl_->loggedIn; }

const Failure& TFtpClient::LastFailure() const { return impl_->failure; }

void TFtpClient::Disconnect() { impl_->Close(); }

// ---- Folders ----

bool TFtpClient::ChangeDir(const std::string& folder) {
  if (!impl_->loggedIn || folder.empty() || folder.front() != '/') return false;
  impl_->folder = folder.back() == '/' ? folder : folder + '/';
  return true;
}

bool TFtpClient::List(std::vector<FtpListItem>& items) {
  Impl& impl = *impl_;
  items.clear();
  if (!impl.loggedIn) return false;
  // "%2F" keeps the folder absolute, as the server's root sees it; libcurl
  // then hands it to the listing command instead of changing into it.
  if (!impl.Perform(impl.BaseUrl() + "/%2F" + EncodePath(impl.folder.substr(1)), nullptr, true)) {
    return false;
  }

  const DateTimeParts nowUtc = NowUtc();
  std::size_t start = 0;
  while (start < impl.received.size()) {
    // A listing of many thousand entries takes a second to read.
    if (!AnswerWhileWorking()) return false;
    std::size_t end = impl.received.find('\n', start);
    if (end == std::string::npos) end = impl.received.size();
    const std::string_view line(impl.received.data() + start, end - start);
    start = end + 1;
    if (line.empty() || line == "\r") continue;
    const auto entry = impl.offersMlsd ? ParseMlsdLine(line) : ParseListLine(line, nowUtc);
    if (!entry) {
      // Machine listings have no headings or summaries: a line that does not
      // parse means the listing cannot be trusted. LIST has "total 12".
      if (impl.offersMlsd) return false;
      continue;
    }
    if (entry->nameKind == FtpNameKind::SelfOrParent) continue;
    if (entry->nameKind == FtpNameKind::Unsafe || !entry->sizeFits) return false;
    FtpListItem item;
    item.name = entry->name;
    item.type = entry->type;
    item.size = entry->size;
    item.modified = entry->modifiedUtc ? UtcPartsToLocal(*entry->modifiedUtc) : 0;
    items.push_back(std::move(item));
  }
  return true;
}
