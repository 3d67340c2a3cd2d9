// The guard around every libcurl callback of the clients: an exception must
// never unwind through libcurl's C code.
#pragma once

#include <curl/curl.h>

#include <cstddef>

// Runs the callback's work and returns its count for curl. When the work
// throws, `failed` is set and curl gets the count it takes as an error, so
// the transfer ends as failed and the program goes on.
template <typename Work>
std::size_t GuardCallback(bool& failed, Work&& work) noexcept {
  try {
    return work();
  } catch (...) {
    failed = true;
    return CURL_WRITEFUNC_ERROR;
  }
}
