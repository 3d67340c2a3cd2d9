// The download phase: every listed file is fetched over HTTP into the download
// folder and given the server's date, so the next run finds it complete.
#pragma once

#include <cstdint>
#include <string>

#include "network/http_client.h"
#include "run/run_context.h"
#include "run/run_state.h"

namespace download {

NextStep Timer2Timer(RunState& state, RunContext& run, THttpClient& http);

// One file of the listed size, with up to 50 attempts (4 of them when the
// server stops delivering), each continuing after the bytes the earlier ones
// brought; false when it could not be fetched or the run was cancelled
// meanwhile (what arrived is kept for the next run, beside the folder).
bool HttpDownloadFile(RunState& state, RunContext& run, THttpClient& http, const std::string& url,
                      const std::string& target, std::int64_t expectedSize);

}  // namespace download
