// One FTP control connection with libcurl. Its easy handle has a multi
// handle of its own, so the login, and what was said after it, stays with
// this connection for every request. Each request names its folder itself
// (EPSV plus MLSD or LIST with the absolute path, no CWD); libcurl sends
// TYPE once per connection and, once EPSV failed, keeps to PASV.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/failure.h"
#include "network/tls_policy.h"
#include "network/transfer_loop.h"

// Where the connections go and as whom.
struct FtpAccount {
  std::string host;
  int port = 21;
  TlsPolicy tls;
  std::string user;
  std::string password;
};

class FtpConnection {
 public:
  // Connects at the first request, with the account's TLS policy.
  explicit FtpConnection(const FtpAccount& account);
  ~FtpConnection();  // QUIT on a connection that stands
  FtpConnection(const FtpConnection&) = delete;
  FtpConnection& operator=(const FtpConnection&) = delete;

  // One request: `commands` after the login (a leading "*" lets one fail),
  // then the listing of `folder` (absolute, ends with "/"), or none for "".
  // onWork is called and stop asked between waits of at most 50 ms; a
  // stop, a failed command or listing, or a drip makes it false.
  bool Perform(const std::string& folder, const std::vector<std::string>& commands, bool mlsd,
               const std::function<void()>& onWork, const std::function<bool()>& stop);

  // Of the last request: the listing's bytes and the control replies.
  const std::string& Received() const { return received_; }
  const std::vector<std::string>& Replies() const { return replies_; }
  // Why the last request that failed did.
  const Failure& LastFailure() const { return failure_; }

 private:
  static size_t CollectData(char* data, size_t size, size_t count, void* user);
  static size_t CollectReply(char* data, size_t size, size_t count, void* user);
  std::size_t TakeListingData(const char* data, std::size_t bytes);
  Failure FailureOf(CURLcode result, bool stopped, const std::string& action,
                    const std::string& url) const;

  CURL* handle_ = nullptr;
  CURLM* multi_ = nullptr;
  std::string baseUrl_;
  std::string received_;
  std::vector<std::string> replies_;
  RateFloor floor_;
  Failure failure_;
  bool callbackFailed_ = false;  // of the running request
};
