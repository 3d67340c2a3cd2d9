#include "network/ftp_listings_ahead.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

// Four connections in all: enough to hide a listing's round trips behind
// the others', few enough for the logins a server allows one account.
constexpr std::size_t kFurtherConnections = 3;
// A login costs about what a listing does: a further connection is opened
// only for at least two more announced folders.
constexpr std::size_t kFoldersPerConnection = 2;
// Listings waiting to be taken; beyond, nobody lists ahead, so a folder of
// thousands of subfolders does not pile up their listings.
constexpr std::size_t kMostListedAhead = 16;

}  // namespace

FtpListingsAhead::FtpListingsAhead(FtpAccount account, std::vector<std::string> afterLogin,
                                   bool mlsd)
    : account_(std::move(account)), afterLogin_(std::move(afterLogin)), mlsd_(mlsd) {}

FtpListingsAhead::~FtpListingsAhead() {
  StopAll();
  for (std::thread& thread : threads_) thread.join();
}

void FtpListingsAhead::Announce(const std::vector<std::string>& folders) {
  {
    const std::lock_guard lock(mutex_);
    announced_.insert(announced_.begin(), folders.begin(), folders.end());
    StartConnections();
  }
  changed_.notify_all();
}

// Called with the mutex held.
void FtpListingsAhead::StartConnections() {
  while (!refused_ && threads_.size() < kFurtherConnections &&
         announced_.size() >= kFoldersPerConnection * (threads_.size() + 1)) {
    threads_.emplace_back([this] { ListOnFurtherConnection(); });
  }
}

// Called with the mutex held.
std::optional<std::string> FtpListingsAhead::NextToBegin() {
  if (announced_.empty() || listed_.size() + running_.size() >= kMostListedAhead) {
    return std::nullopt;
  }
  std::string folder = std::move(announced_.front());
  announced_.pop_front();
  running_.push_back(folder);
  return folder;
}

FtpListingResult FtpListingsAhead::ListOn(FtpConnection& connection, const std::string& folder,
                                          const std::function<void()>& onWork,
                                          const std::function<bool()>& stop) {
  FtpListingResult result;
  result.listed = connection.Perform(folder, {}, mlsd_, onWork, stop);
  if (result.listed) {
    result.received = connection.Received();
  } else {
    result.failure = connection.LastFailure();
  }
  return result;
}

void FtpListingsAhead::ListOnFurtherConnection() {
  FtpConnection connection(account_);
  const auto stopping = [this] { return stopping_.load(); };
  // Logged in before it takes a folder, so that a login the server holds
  // or refuses keeps no listing waiting. A server that allows this account
  // fewer logins refuses this one: the walk goes on with the connections
  // that logged in, at least the first.
  if (!connection.Perform("", afterLogin_, false, {}, stopping)) {
    const std::lock_guard lock(mutex_);
    refused_ = true;
    return;
  }
  for (;;) {
    std::optional<std::string> folder;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || (folder = NextToBegin()).has_value(); });
      if (stopping_) return;
    }
    FtpListingResult result = ListOn(connection, *folder, {}, stopping);
    {
      const std::lock_guard lock(mutex_);
      running_.erase(std::find(running_.begin(), running_.end(), *folder));
      listed_[*folder] = std::move(result);
    }
    changed_.notify_all();
  }
}

void FtpListingsAhead::StopAll() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
}

FtpListingResult FtpListingsAhead::Take(const std::string& folder, FtpConnection& own,
                                        const std::function<void()>& onWork,
                                        const std::function<bool()>& stop) {
  for (;;) {
    std::optional<std::string> ownFolder;
    {
      std::unique_lock lock(mutex_);
      if (const auto found = listed_.find(folder); found != listed_.end()) {
        FtpListingResult result = std::move(found->second);
        listed_.erase(found);
        changed_.notify_all();  // room to list ahead again
        return result;
      }
      const bool running = std::find(running_.begin(), running_.end(), folder) != running_.end();
      if (!running) {
        const auto queued = std::find(announced_.begin(), announced_.end(), folder);
        if (queued != announced_.end()) announced_.erase(queued);
        running_.push_back(folder);
        ownFolder = folder;
      } else {
        // Another connection lists it: this one lists the next meanwhile.
        ownFolder = NextToBegin();
        if (!ownFolder) {
          changed_.wait_for(lock, std::chrono::milliseconds(kAnswerIntervalMs));
        }
      }
    }
    if (ownFolder) {
      FtpListingResult result = ListOn(own, *ownFolder, onWork, stop);
      const bool wanted = *ownFolder == folder;
      {
        const std::lock_guard lock(mutex_);
        running_.erase(std::find(running_.begin(), running_.end(), *ownFolder));
        if (!wanted) listed_[*ownFolder] = std::move(result);
      }
      changed_.notify_all();
      if (wanted) {
        if (stop && stop()) StopAll();
        return result;
      }
    } else if (onWork) {
      onWork();
    }
    // A cancel ends the listings on the other connections too.
    if (stop && stop()) {
      StopAll();
      FtpListingResult cancelled;
      cancelled.failure = {
          FailureKind::Cancelled, FailureCode::None, 0, "list", folder, "cancelled"};
      return cancelled;
    }
  }
}
