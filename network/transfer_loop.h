// Runs one libcurl request while the window keeps answering: the request is
// driven from here through a multi handle, with waits of at most 50 ms, and
// the caller's work (the window's messages) runs between them.
#pragma once

#include <curl/curl.h>

#include <functional>

// The request's result; CURLE_ABORTED_BY_CALLBACK when stop() said so (it is
// asked after each wait). The multi handle keeps the connections for the
// next request.
CURLcode PerformAnswering(CURLM* multi, CURL* handle, const std::function<void()>& onWork,
                          const std::function<bool()>& stop);
