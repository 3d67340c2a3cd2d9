// The download phase: every listed file is fetched over HTTP into the download
// folder and given the server's date, so the next run finds it complete.
#pragma once

#include "network/http_client.h"
#include "run/run_context.h"
#include "run/run_state.h"

namespace download {

// Several files at once, each with the attempts of the one download path;
// with the manifest's SHA-256, only a file that matches takes its place in
// the download folder, and one that does not refuses the release.
NextStep Timer2Timer(RunState& state, RunContext& run, THttpClient& http);

}  // namespace download
