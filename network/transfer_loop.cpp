#include "network/transfer_loop.h"

namespace {

constexpr auto kRateWindow = std::chrono::seconds(20);
constexpr std::int64_t kLeastBytesPerWindow = 512 * 20;

}  // namespace

CURLcode PerformAnswering(CURLM* multi, CURL* handle, const std::function<void()>& onWork,
                          const std::function<bool()>& stop) {
  if (multi == nullptr || curl_multi_add_handle(multi, handle) != CURLM_OK) {
    return CURLE_FAILED_INIT;
  }
  CURLcode result = CURLE_ABORTED_BY_CALLBACK;
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    int queued = 0;
    const CURLMsg* message = curl_multi_info_read(multi, &queued);
    if (message != nullptr && message->msg == CURLMSG_DONE) {
      result = message->data.result;
      break;
    }
    if (onWork) onWork();
    if (stop && stop()) break;
    curl_multi_poll(multi, nullptr, 0, kAnswerIntervalMs, nullptr);
  }
  curl_multi_remove_handle(multi, handle);
  return result;
}

void RateFloor::Restart() {
  windowStart_ = std::chrono::steady_clock::now();
  windowBytes_ = 0;
}

void RateFloor::Arrived(std::size_t bytes) { windowBytes_ += static_cast<std::int64_t>(bytes); }

bool RateFloor::Dripping() {
  const auto now = std::chrono::steady_clock::now();
  if (now - windowStart_ < kRateWindow) return false;
  if (windowBytes_ < kLeastBytesPerWindow) return true;
  windowStart_ = now;
  windowBytes_ = 0;
  return false;
}
