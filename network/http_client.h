// HTTP downloads: one kept-alive connection and the server's cookies for the
// whole run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

enum class HttpOutcome {
  Complete,   // a success status and the whole body, of the expected size
  Failed,     // an error status, a cut or refused connection, a body of another size
  Stalled,    // nothing arrived for a long while, or far too little: the server is not delivering
  Cancelled,  // a cancel while nothing had arrived for a second
};

inline constexpr std::int64_t kAnySize = -1;

// Where a request may continue: after the bytes the file already holds, if
// the server still has the version they came from (their validator: its ETag
// or Last-Modified). A server that has another version, or ignores ranges,
// sends the whole file, which then replaces those bytes.
struct HttpResume {
  std::int64_t offset = 0;
  std::string validator;
};

// Sees a success response's body on its way into the file: where in the file
// it starts (0, or the resume offset) and every piece written. `arrived`
// answering false ends the request as failed.
struct HttpBodyWatch {
  std::function<void(std::int64_t start)> starts;
  std::function<bool(const char* data, std::size_t size)> arrived;
};

class THttpClient {
 public:
  THttpClient();
  ~THttpClient();
  THttpClient(const THttpClient&) = delete;
  THttpClient& operator=(const THttpClient&) = delete;

  // GET into the open file (appended to, when resuming). A body that would
  // pass the expected size ends the request at once (nothing past it is
  // written); one that ends short of it fails, whatever Content-Length said.
  HttpOutcome Get(const std::string& encodedUrl, std::FILE* target,
                  std::int64_t expectedSize = kAnySize, const HttpResume& resume = {},
                  const HttpBodyWatch& watch = {});
  // Whether the last request wrote a success response's body, and the
  // validator of those bytes ("" when the server gave none).
  std::optional<std::string> LastBodyValidator() const;

  // Called at least every 50 ms while a request runs: the window answers.
  std::function<void()> onWork;
  // Asked as often: a cancel ends a request that is not moving; one that is
  // moving is completed.
  std::function<bool()> cancelRequested;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// Percent-encodes blanks, control characters, non-ASCII and *<>#%"{}|\^[]`+
// in the path (upper-case hex per UTF-8 byte); scheme and host stay.
std::string UrlEncode(const std::string& url);

// Fetches one URL into a file with a fresh client; true on complete success.
// The file takes the path's place only when it is whole, of the expected
// size, and `accept` (asked last, when given) agrees with what the watch saw.
bool DownloadUrlToFile(const std::string& url, const std::string& path,
                       std::int64_t expectedSize = kAnySize, const HttpBodyWatch& watch = {},
                       const std::function<bool()>& accept = {});
