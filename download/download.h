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

enum class FetchResult {
  Fetched,
  Failed,        // not fetched, or cancelled meanwhile: what arrived is kept
  NotAuthentic,  // whole, but not what the release manifest says: nothing is kept
};

// One file of the listed size, with up to 50 attempts (4 of them when the
// server stops delivering), each continuing after the bytes the earlier ones
// brought (kept for the next run, beside the folder). With the manifest's
// SHA-256 the bytes are hashed as they arrive, and only a file that matches
// takes its place in the download folder.
FetchResult HttpDownloadFile(RunState& state, RunContext& run, THttpClient& http,
                             const std::string& url, const std::string& target,
                             std::int64_t expectedSize, const std::string& sha256 = "");

}  // namespace download
