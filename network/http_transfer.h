// One GET on a curl easy handle, for the HTTP client: the response's
// headers, its body into the file by the size and resume rules, and whether
// the server still delivers.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <optional>
#include <string>

#include "network/http_client.h"
#include "network/transfer_loop.h"

class HttpTransfer {
 public:
  // Sets the request's options on the handle, which the caller then runs.
  HttpTransfer(CURL* handle, const HttpRequest& request, const TlsPolicy& tls);
  ~HttpTransfer();
  HttpTransfer(const HttpTransfer&) = delete;
  HttpTransfer& operator=(const HttpTransfer&) = delete;

  CURL* Handle() const { return handle_; }
  // curl finished the request with `result`.
  HttpResult Finish(CURLcode result);
  // The request ends before curl finished it.
  HttpResult Stop(HttpOutcome outcome);
  // Nothing arrived for a long while, or far too little.
  bool Stalled();
  // A turn of the client begins: the body's writes go on until `end`, then
  // wait for the next turn, so that a fast server never keeps the window
  // from answering. True when a body stopped by the last turn goes on.
  bool BeginTurn(std::chrono::steady_clock::time_point end);
  // Whether a whole response head has arrived.
  bool Answered() const { return answered_; }
  std::int64_t Held() const;

 private:
  static size_t ReadHeader(char* data, size_t size, size_t count, void* user);
  static size_t WriteBody(char* data, size_t size, size_t count, void* user);
  std::size_t TakeHeader(const char* data, std::size_t bytes);
  std::size_t TakeBody(const char* data, std::size_t bytes);
  long Status() const;
  bool BeginBody(long status);
  HttpResult Result(HttpOutcome outcome, Failure failure) const;
  // Why the request did not bring the whole body; nullopt when it did.
  std::optional<Failure> Shortfall(CURLcode result);
  Failure TransferFailure(FailureKind kind, const std::string& detail) const;

  CURL* handle_;
  HttpRequest request_;
  curl_slist* headerLines_ = nullptr;
  // The current response's head.
  HttpVersionHeaders version_;
  bool answered_ = false;
  std::string reason_;  // of the status line, for the log
  // Its body in the file: where it starts (-1 before its first byte), how
  // much of it was written, and what vouches for the bytes.
  std::int64_t base_ = -1;
  std::int64_t written_ = 0;
  HttpResume bodyVersion_;
  // A 206 (or 416) that does not continue the kept bytes: they go.
  bool keptRefused_ = false;
  // A callback threw: the transfer failed, whatever curl reports.
  bool callbackFailed_ = false;
  // The turn's end; whether the body was written in it, or stopped at it.
  std::chrono::steady_clock::time_point turnEnd_ = std::chrono::steady_clock::time_point::max();
  bool wroteInTurn_ = false;
  bool paused_ = false;
  // What has arrived when: the stall and drip checks.
  std::chrono::steady_clock::time_point lastArrival_;
  RateFloor floor_;
  // What the body's way into the file found wrong, and curl's own words.
  std::optional<Failure> bodyFailure_;
  char curlError_[CURL_ERROR_SIZE] = {};
};
