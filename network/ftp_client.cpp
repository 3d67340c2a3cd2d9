// The FTP listing client with libcurl. The first control connection logs in
// and asks what the server offers; the walk's folders are listed on it and,
// when the walk announces several, on up to three more (FtpListingsAhead).
#include "network/ftp_client.h"

#include <chrono>

#include "network/ftp_connection.h"
#include "network/ftp_listing.h"
#include "network/ftp_listings_ahead.h"
#include "platform/clock.h"
#include "platform/local_time.h"

namespace {

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

// The entries of a listing's bytes; false when it cannot be trusted or a
// cancel came meanwhile.
bool ParseListing(const std::string& received, bool mlsd, std::vector<FtpListItem>& items) {
  const DateTimeParts nowUtc = NowUtc();
  std::size_t start = 0;
  while (start < received.size()) {
    // A listing of many thousand entries takes a second to read.
    if (!AnswerWhileWorking()) return false;
    std::size_t end = received.find('\n', start);
    if (end == std::string::npos) end = received.size();
    const std::string_view line(received.data() + start, end - start);
    start = end + 1;
    if (line.empty() || line == "\r") continue;
    const auto entry = mlsd ? ParseMlsdLine(line) : ParseListLine(line, nowUtc);
    if (!entry) {
      // Machine listings have no headings or summaries: a line that does not
      // parse means the listing cannot be trusted. LIST has "total 12".
      if (mlsd) return false;
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

}  // namespace

// ---- Client state ----

struct TFtpClient::Impl {
  FtpAccount account;
  std::unique_ptr<FtpConnection> connection;  // the first, logged in
  std::unique_ptr<FtpListingsAhead> ahead;
  std::string folder = "/";
  bool offersMlsd = false;
  Failure failure;  // of the last Connect or List that failed
  const std::function<void()>* onWork = nullptr;
  const std::function<bool()>* cancelRequested = nullptr;

  bool Cancelled() const { return *cancelRequested && (*cancelRequested)(); }
  bool Perform(const std::vector<std::string>& commands) {
    return connection->Perform("", commands, false, *onWork, [this] { return Cancelled(); });
  }
  void Close() {
    // Each connection's cleanup sends QUIT and waits for the answer, which a
    // server busy with an aborted listing gives late.
    if (connection != nullptr || ahead != nullptr) {
      AnswerWhileWaitingFor([this] {
        ahead.reset();
        connection.reset();
        return true;
      });
    }
  }
};

// ---- Set-up ----

TFtpClient::TFtpClient() : impl_(std::make_unique<Impl>()) {
  impl_->onWork = &onWork;
  impl_->cancelRequested = &cancelRequested;
}

TFtpClient::~TFtpClient() { impl_->Close(); }

void TFtpClient::Configure(const std::string& host, int port, const TlsPolicy& tls) {
  impl_->account.host = host;
  impl_->account.port = port;
  impl_->account.tls = tls;
}

void TFtpClient::SetAccount(const std::string& user, const std::string& password) {
  impl_->account.user = user;
  impl_->account.password = password;
}

// ---- Connection ----

bool TFtpClient::Connect() {
  Impl& impl = *impl_;
  if (impl.Cancelled()) return false;
  impl.Close();
  impl.connection = std::make_unique<FtpConnection>(impl.account);
  // The leading "*" lets a server without FEAT still count as logged in.
  if (!impl.Perform({"*FEAT"})) {
    impl.failure = impl.connection->LastFailure();
    impl.Close();
    return false;
  }
  bool offersUtf8 = false;
  impl.offersMlsd = false;
  for (const std::string& reply : impl.connection->Replies()) {
    const std::string feature = FeatureName(reply);
    impl.offersMlsd = impl.offersMlsd || feature == "MLSD" || feature == "MLST";
    offersUtf8 = offersUtf8 || feature == "UTF8";
  }
  std::vector<std::string> afterLogin;
  if (offersUtf8) {
    afterLogin.push_back("*OPTS UTF8 ON");
    impl.Perform(afterLogin);
  }
  impl.ahead = std::make_unique<FtpListingsAhead>(impl.account, afterLogin, impl.offersMlsd);
  return true;
}

bool TFtpClient::Connected() const { return impl_->connection != nullptr; }

const Failure& TFtpClient::LastFailure() const { return impl_->failure; }

void TFtpClient::Disconnect() { impl_->Close(); }

// ---- Folders ----

bool TFtpClient::ChangeDir(const std::string& folder) {
  if (!Connected() || folder.empty() || folder.front() != '/') return false;
  impl_->folder = folder.back() == '/' ? folder : folder + '/';
  return true;
}

void TFtpClient::ListAhead(const std::vector<std::string>& folders) {
  if (!Connected()) return;
  std::vector<std::string> absolute;
  for (const std::string& folder : folders) {
    if (folder.empty() || folder.front() != '/') continue;
    absolute.push_back(folder.back() == '/' ? folder : folder + '/');
  }
  impl_->ahead->Announce(absolute);
}

bool TFtpClient::List(std::vector<FtpListItem>& items) {
  Impl& impl = *impl_;
  items.clear();
  if (!Connected()) return false;
  FtpListingResult listing = impl.ahead->Take(impl.folder, *impl.connection, *impl.onWork,
                                              [&impl] { return impl.Cancelled(); });
  if (!listing.listed) {
    impl.failure = std::move(listing.failure);
    return false;
  }
  if (!ParseListing(listing.received, impl.offersMlsd, items)) {
    impl.failure = {impl.Cancelled() ? FailureKind::Cancelled : FailureKind::Damaged,
                    FailureCode::None,
                    0,
                    "list",
                    impl.folder,
                    impl.Cancelled() ? "cancelled" : "a listing line that cannot be trusted"};
    return false;
  }
  return true;
}
