// The one way the updater downloads a file over HTTP, whatever it is (a
// product file, a release manifest, a copy of the updater): up to 50
// attempts (4 of them when the server stops delivering), each continuing
// after the bytes the earlier ones brought, which are kept for the next run
// when the file does not arrive; the bytes hashed as they arrive; a cancel
// ends it at once. Only the whole file takes its place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "network/http_client.h"

struct HttpDownload {
  std::string url;  // not yet encoded
  std::string target;
  // Where what arrived of it waits meanwhile: a folder of the updater's own.
  std::string keptFolder;
  // The listed size; without one, the most the file may hold (or kAnySize).
  std::int64_t size = kAnySize;
  std::int64_t sizeLimit = kAnySize;
  // The SHA-256 the file must have (lower-case hex); "" for any.
  std::string sha256;
  // Written through to the disk before it takes its place: a file that is
  // installed as it lands.
  bool durable = false;
};

enum class DownloadResult {
  Fetched,
  Failed,        // not fetched: what arrived is kept
  Cancelled,     // what arrived is kept
  NotAuthentic,  // whole, but not of the listed hash: nothing is kept
};

struct DownloadEvents {
  // The file of that index in the list has taken its place.
  std::function<void(std::size_t index)> fetched;
  // After each turn: the bytes the files not yet fetched hold together.
  std::function<void(std::int64_t held)> held;
};

struct DownloadEnd {
  DownloadResult result = DownloadResult::Fetched;
  std::size_t index = 0;  // of the file that ended the list early
  Failure failure;        // why that file was not fetched
};

// Several files at once, started in the list's order; the first that is not
// fetched (or a cancel) ends the others at once, keeping what they brought.
DownloadEnd DownloadFiles(THttpClient& http, const std::vector<HttpDownload>& files,
                          const DownloadEvents& events = {});
DownloadEnd DownloadFile(THttpClient& http, const HttpDownload& file);
