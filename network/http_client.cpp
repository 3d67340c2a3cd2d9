// HTTP requests with libcurl: one multi handle for the run keeps the
// connections alive, and one share keeps the server's cookies for every
// request.
#include "network/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>

#include "network/http_transfer.h"
#include "network/transfer_loop.h"

namespace {

constexpr const char* kUserAgent = "Mozilla/3.0 (compatible; Indy Library)";
constexpr long kConnectTimeoutMs = 10000;
constexpr long kReceiveBufferBytes = 256 * 1024;
// Connections kept for reuse; more than the requests that run at once.
constexpr long kKeptConnections = 20;

HttpResult Unstarted(const HttpRequest& request) {
  return {HttpOutcome::Failed,
          request.resume,
          {FailureKind::System, FailureCode::None, 0, "download", request.encodedUrl,
           "libcurl could not start the request"}};
}

}  // namespace

struct THttpClient::Impl {
  CURLM* multi = curl_multi_init();
  CURLSH* share = curl_share_init();
  std::vector<CURL*> idleHandles;
  std::map<RequestId, std::unique_ptr<HttpTransfer>> transfers;
  // Requests that could not start: they end as failed in the next turn,
  // their files as they were.
  std::vector<Ended> unstarted;
  RequestId nextId = 1;
  bool answered = false;
  TlsPolicy tls;

  ~Impl() {
    for (auto& [id, transfer] : transfers) {
      curl_multi_remove_handle(multi, transfer->Handle());
      idleHandles.push_back(transfer->Handle());
    }
    transfers.clear();
    for (CURL* handle : idleHandles) curl_easy_cleanup(handle);
    if (multi != nullptr) curl_multi_cleanup(multi);
    if (share != nullptr) curl_share_cleanup(share);
  }

  CURL* TakeHandle() {
    if (!idleHandles.empty()) {
      CURL* handle = idleHandles.back();
      idleHandles.pop_back();
      return handle;
    }
    CURL* handle = curl_easy_init();
    if (handle == nullptr) return nullptr;
    curl_easy_setopt(handle, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(handle, CURLOPT_SHARE, share);
    curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "");  // cookie engine, nothing read
    curl_easy_setopt(handle, CURLOPT_PROXY, "");       // never the environment's proxy
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    // A request waits for a connection that can carry it beside others
    // rather than opening one more.
    curl_easy_setopt(handle, CURLOPT_PIPEWAIT, 1L);
    return handle;
  }

  Ended Release(RequestId id, HttpResult result) {
    const auto found = transfers.find(id);
    answered |= found->second->Answered();
    CURL* handle = found->second->Handle();
    curl_multi_remove_handle(multi, handle);
    transfers.erase(found);
    idleHandles.push_back(handle);
    return {id, std::move(result)};
  }
};

// ---- Set-up ----

THttpClient::THttpClient() : impl_(std::make_unique<Impl>()) {
  if (impl_->share != nullptr) {
    curl_share_setopt(impl_->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_share_setopt(impl_->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
  }
  if (impl_->multi != nullptr) {
    curl_multi_setopt(impl_->multi, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    curl_multi_setopt(impl_->multi, CURLMOPT_MAXCONNECTS, kKeptConnections);
  }
}

THttpClient::~THttpClient() = default;

// ---- Requests ----

void THttpClient::SetTlsPolicy(const TlsPolicy& tls) { impl_->tls = tls; }

THttpClient::RequestId THttpClient::Start(const HttpRequest& request) {
  Impl& impl = *impl_;
  const RequestId id = impl.nextId++;
  CURL* handle = impl.TakeHandle();
  if (handle == nullptr) {
    impl.unstarted.push_back({id, Unstarted(request)});
    return id;
  }
  auto transfer = std::make_unique<HttpTransfer>(handle, request, impl.tls);
  if (impl.multi == nullptr || request.target == nullptr ||
      curl_multi_add_handle(impl.multi, handle) != CURLM_OK) {
    transfer.reset();
    impl.idleHandles.push_back(handle);
    impl.unstarted.push_back({id, Unstarted(request)});
    return id;
  }
  impl.transfers.emplace(id, std::move(transfer));
  return id;
}

std::vector<THttpClient::Ended> THttpClient::Work(int waitMs) {
  Impl& impl = *impl_;
  std::vector<Ended> ended = std::move(impl.unstarted);
  impl.unstarted.clear();
  // A body the last turn stopped has its data waiting: no wait then, as a
  // socket that was not watched meanwhile need not wake the wait.
  const auto turnEnd =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerIntervalMs);
  bool resumed = false;
  for (const auto& [id, transfer] : impl.transfers) resumed |= transfer->BeginTurn(turnEnd);
  const int pollMs = resumed ? 0 : std::clamp(waitMs, 0, kAnswerIntervalMs);
  curl_multi_poll(impl.multi, nullptr, 0, pollMs, nullptr);
  int running = 0;
  curl_multi_perform(impl.multi, &running);
  int queued = 0;
  while (const CURLMsg* message = curl_multi_info_read(impl.multi, &queued)) {
    if (message->msg != CURLMSG_DONE) continue;
    const auto found = std::find_if(
        impl.transfers.begin(), impl.transfers.end(),
        [&](const auto& entry) { return entry.second->Handle() == message->easy_handle; });
    if (found == impl.transfers.end()) continue;
    const CURLcode result = message->data.result;
    ended.push_back(impl.Release(found->first, found->second->Finish(result)));
  }
  for (const auto& [id, transfer] : impl.transfers) impl.answered |= transfer->Answered();
  if (onWork) onWork();
  if (CancelRequested()) {
    for (Ended& stopped : StopAll()) ended.push_back(std::move(stopped));
    return ended;
  }
  std::vector<RequestId> stalled;
  for (const auto& [id, transfer] : impl.transfers) {
    if (transfer->Stalled()) stalled.push_back(id);
  }
  for (const RequestId id : stalled) {
    ended.push_back(impl.Release(id, impl.transfers.at(id)->Stop(HttpOutcome::Stalled)));
  }
  return ended;
}

std::vector<THttpClient::Ended> THttpClient::StopAll() {
  Impl& impl = *impl_;
  std::vector<Ended> stopped;
  while (!impl.transfers.empty()) {
    const RequestId id = impl.transfers.begin()->first;
    stopped.push_back(impl.Release(id, impl.transfers.at(id)->Stop(HttpOutcome::Cancelled)));
  }
  return stopped;
}

bool THttpClient::Running() const { return !impl_->transfers.empty() || !impl_->unstarted.empty(); }

std::int64_t THttpClient::Held(RequestId id) const {
  const auto found = impl_->transfers.find(id);
  return found == impl_->transfers.end() ? 0 : found->second->Held();
}

bool THttpClient::Answered() const { return impl_->answered; }

bool THttpClient::CancelRequested() const { return cancelRequested && cancelRequested(); }
