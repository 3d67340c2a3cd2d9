// The FTP client that lists the update server's folders; nothing is fetched
// over FTP. Each listing names its folder itself, so a folder costs a
// passive-mode command and the listing, nothing more. One login serves a
// walk folder by folder; folders announced ahead are listed meanwhile on a
// few more connections of the same account, as many as the server allows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/date_time.h"
#include "base/failure.h"
#include "network/tls_policy.h"

enum class FtpItemType { Directory, File, Other };

struct FtpListItem {
  std::string name;
  FtpItemType type = FtpItemType::Other;
  std::int64_t size = 0;
  TDateTime modified = 0;  // local time, the reckoning local files get
};

class TFtpClient {
 public:
  TFtpClient();
  ~TFtpClient();
  TFtpClient(const TFtpClient&) = delete;
  TFtpClient& operator=(const TFtpClient&) = delete;

  // Passive, IPv4, binary, UTF-8 names, 5000 ms time-outs, TLS as `tls`
  // says.
  void Configure(const std::string& host, int port, const TlsPolicy& tls = {});
  void SetAccount(const std::string& user, const std::string& password);
  // Opens the control connection and logs in; false when either fails or
  // a cancel came first.
  bool Connect();
  // The folder (absolute, "/" separated) the next listing is of; sends nothing.
  bool ChangeDir(const std::string& folder);
  // Lists that folder; false when the listing fails or was cancelled.
  bool List(std::vector<FtpListItem>& items);
  // Folders (absolute) the next listings will be of, in their order and
  // before those announced earlier: listed meanwhile where it pays.
  void ListAhead(const std::vector<std::string>& folders);
  bool Connected() const;
  void Disconnect();
  // Why the last Connect or List failed.
  const Failure& LastFailure() const;

  // Called while the client waits, so that the window stays alive.
  std::function<void()> onWork;
  // Asked as often: a cancel ends the running request at once, a connection
  // or its greeting as well as a listing.
  std::function<bool()> cancelRequested;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};
