// HTTP requests for the whole run: several GETs at once on kept-alive
// connections (HTTP/2 streams where the server offers them), sharing the
// server's cookies, driven turn by turn so that the window keeps answering.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/failure.h"
#include "network/http_resume.h"
#include "network/tls_policy.h"

enum class HttpOutcome {
  Complete,   // a success status and the whole body, of the expected size
  Failed,     // an error status, a cut or refused connection, a body of another size
  Stalled,    // nothing arrived for a long while, or far too little: the server is not delivering
  Cancelled,  // a cancel, or the caller ended it: what arrived stays
};

// Sees a success response's body on its way into the file: where in the
// file it starts (0: what the file held went; or the resume offset) and
// every piece written.
struct HttpBodyWatch {
  std::function<void(std::int64_t start)> starts;
  std::function<void(const char* data, std::size_t size)> arrived;
};

// One GET into a file opened for appending, which holds the request's
// resume offset in bytes. A body that would pass the expected size (or,
// without one, the limit) ends the request at once, nothing past it
// written; one that ends short of the expected size fails, whatever
// Content-Length said.
struct HttpRequest {
  std::string encodedUrl;
  std::FILE* target = nullptr;
  std::string targetPath;  // the file's, for a failure
  std::int64_t expectedSize = kAnySize;
  std::int64_t sizeLimit = kAnySize;
  HttpResume resume;
  HttpBodyWatch watch;
};

struct HttpResult {
  HttpOutcome outcome = HttpOutcome::Failed;
  // What the file holds now and what vouches for it ("" validator: nothing
  // may continue those bytes).
  HttpResume kept;
  // Why it is not Complete.
  Failure failure;
};

class THttpClient {
 public:
  using RequestId = int;
  struct Ended {
    RequestId id;
    HttpResult result;
  };

  THttpClient();
  ~THttpClient();
  THttpClient(const THttpClient&) = delete;
  THttpClient& operator=(const THttpClient&) = delete;

  // For the requests started from now on; until then certificates are
  // checked against the system's store.
  void SetTlsPolicy(const TlsPolicy& tls);
  // The request runs during the turns that follow.
  RequestId Start(const HttpRequest& request);
  // One turn of the running requests: a wait of at most `waitMs` (never more
  // than 50) for their connections, their work, then the window's (onWork).
  // Returns the requests that ended meanwhile; one that stopped delivering
  // ends as Stalled, and a cancel ends them all at once, moving or not.
  std::vector<Ended> Work(int waitMs);
  // Every running request ends at once, as Cancelled.
  std::vector<Ended> StopAll();
  bool Running() const;
  // The bytes the running request's file holds now.
  std::int64_t Held(RequestId id) const;
  // Whether a response has arrived in this run: its cookies are known, and
  // whether its connection takes several requests at once.
  bool Answered() const;
  bool CancelRequested() const;

  // Called at least every 50 ms while requests run: the window answers.
  std::function<void()> onWork;
  // Asked after each turn's onWork.
  std::function<bool()> cancelRequested;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// Percent-encodes blanks, control characters, non-ASCII and *<>#%"{}|\^[]`+
// in the path (upper-case hex per UTF-8 byte); scheme and host stay.
std::string UrlEncode(const std::string& url);
