// HTTP downloads: one kept-alive connection and the server's cookies for the
// whole run.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

class THttpClient {
 public:
  THttpClient();
  ~THttpClient();
  THttpClient(const THttpClient&) = delete;
  THttpClient& operator=(const THttpClient&) = delete;

  // GET into the open file. True only for a success status with the complete
  // body written; a short or cut-off body is a failure.
  bool Get(const std::string& encodedUrl, std::FILE* target);

  // Called while a transfer runs, so that the window stays alive.
  std::function<void()> onWork;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// Percent-encodes blanks, control characters, non-ASCII and *<>#%"{}|\^[]`+
// in the path (upper-case hex per UTF-8 byte); scheme and host stay.
std::string UrlEncode(const std::string& url);

// Fetches one URL into a file with a fresh client; true on complete success.
bool DownloadUrlToFile(const std::string& url, const std::string& path);
