// The discovery phase: configuration, the checks before connecting, the
// connection to the update server or the self-update route, and the server
// walk that decides what to download.
#pragma once

#include <cstdint>
#include <string>

#include "network/ftp_client.h"
#include "network/http_client.h"
#include "run/run_context.h"
#include "run/run_state.h"

namespace discovery {

NextStep Timer1Timer(RunState& state, RunContext& run, TFtpClient& ftp);

// Fresh copies of the updater over HTTP when the server cannot be listed.
bool DownloadSelfUpdate(RunState& state);

// After the login: the updater's own folder, then the product's.
NextStep Ftp1AfterClientLogin(RunState& state, RunContext& run, TFtpClient& ftp);
bool WalkServerFolder(RunState& state, RunContext& run, TFtpClient& ftp, const std::string& folder,
                      bool isUpdater);

// The download-list decision for one server file.
void CheckServerFile(RunState& state, const FtpListItem& item, const std::string& folder,
                     const std::string& name, const std::string& root);
// After a complete walk: what waits in the download folder but belongs to no
// file the server still offers goes (a withdrawn archive would otherwise
// fail every later run). What an archive unpacked goes too; the archive
// itself comes again, since archives are never installed.
void RemoveWithdrawnDownloads(const RunState& state);
void AddDownloadFile(RunState& state, const std::string& name, const std::string& servOrdner,
                     const std::string& instOrdner, const std::string& downOrdner,
                     std::int64_t size, TDateTime datum);

}  // namespace discovery
