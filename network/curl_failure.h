// libcurl's codes and the servers' answers as failures: the clients turn
// them into a Failure here and nowhere else.
#pragma once

#include <curl/curl.h>

#include <string>

#include "base/failure.h"

// `message`: curl's error buffer for the request, "" for its general text.
Failure FailureFromCurl(CURLcode code, const std::string& message, const std::string& action,
                        const std::string& address);
// An HTTP status outside 2xx; `reason` as the status line gave it, if any.
Failure FailureFromHttpStatus(long status, const std::string& reason, const std::string& action,
                              const std::string& address);
// An FTP reply of 4xx or 5xx; `text` its line.
Failure FailureFromFtpReply(long reply, const std::string& text, const std::string& action,
                            const std::string& address);
