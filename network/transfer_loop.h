// libcurl requests while the window keeps answering: they are driven through
// a multi handle with waits of at most 50 ms, and the caller's work (the
// window's messages) runs between them. The floor every request must keep.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

// Well inside the 100 ms within which the window must answer.
inline constexpr int kAnswerIntervalMs = 50;

// The request's result; CURLE_ABORTED_BY_CALLBACK when stop() said so (it is
// asked after each wait). The multi handle keeps the connections for the
// next request.
CURLcode PerformAnswering(CURLM* multi, CURL* handle, const std::function<void()>& onWork,
                          const std::function<bool()>& stop);

// A server that drips instead of sending: less than 512 bytes a second over
// a window of 20 s. The same floor holds for every request.
class RateFloor {
 public:
  void Restart();  // at the request's start
  void Arrived(std::size_t bytes);
  // Checked between waits: true once a window has ended below the floor.
  bool Dripping();

 private:
  std::chrono::steady_clock::time_point windowStart_;
  std::int64_t windowBytes_ = 0;
};
