// Folders a walk will list soon, listed meanwhile on further control
// connections of the same account, each on a thread of its own: over a slow
// link a listing costs a few round trips, and one connection would pay them
// one folder after another. The caller's thread never waits for them
// without answering its window, and takes what they listed in its own order.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "network/ftp_connection.h"

struct FtpListingResult {
  bool listed = false;
  std::string received;  // the listing's bytes
  Failure failure;       // why it was not listed
};

class FtpListingsAhead {
 public:
  // afterLogin: what each further connection says once logged in ("*OPTS
  // UTF8 ON" where the server offers it), as the first one did.
  FtpListingsAhead(FtpAccount account, std::vector<std::string> afterLogin, bool mlsd);
  // Stops the listings under way; their connections end.
  ~FtpListingsAhead();
  FtpListingsAhead(const FtpListingsAhead&) = delete;
  FtpListingsAhead& operator=(const FtpListingsAhead&) = delete;

  // Folders (absolute, ending with "/") in the order they will be needed,
  // before all announced earlier and not yet begun.
  void Announce(const std::vector<std::string>& folders);

  // The folder's listing, listed ahead or listed now on `own`, the first
  // connection, which meanwhile also lists announced folders. onWork is
  // called and stop asked at least every 50 ms; a stop ends every listing.
  FtpListingResult Take(const std::string& folder, FtpConnection& own,
                        const std::function<void()>& onWork, const std::function<bool()>& stop);

 private:
  void StartConnections();
  void ListOnFurtherConnection();
  void StopAll();
  // The next announced folder to begin, when the listings waiting to be
  // taken leave room for it.
  std::optional<std::string> NextToBegin();
  FtpListingResult ListOn(FtpConnection& connection, const std::string& folder,
                          const std::function<void()>& onWork, const std::function<bool()>& stop);

  const FtpAccount account_;
  const std::vector<std::string> afterLogin_;
  const bool mlsd_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> announced_;  // not yet begun
  std::vector<std::string> running_;
  std::map<std::string, FtpListingResult> listed_;  // not yet taken
  // Set when the server refused a further login: no more are opened.
  bool refused_ = false;
  std::atomic<bool> stopping_{false};
  std::vector<std::thread> threads_;
};
