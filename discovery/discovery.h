// The discovery phase: configuration, the checks before connecting, the
// connection to the update server or the self-update route, and the server
// walk that decides what to download.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "network/ftp_client.h"
#include "network/http_client.h"
#include "run/run_context.h"
#include "run/run_failure.h"
#include "run/run_state.h"

namespace discovery {

NextStep Timer1Timer(RunState& state, RunContext& run, TFtpClient& ftp, THttpClient& http);

// Fresh copies of the updater over HTTP when the server cannot be listed;
// with release keys, only the copies the updater folder's manifest lists
// (ReleaseRefused otherwise). Why they did not arrive; nullopt when both did.
std::optional<Failure> DownloadSelfUpdate(RunState& state, THttpClient& http);

// After the login: the updater's own folder, then the product's, each after
// its release manifest when the updater holds release keys.
NextStep Ftp1AfterClientLogin(RunState& state, RunContext& run, TFtpClient& ftp, THttpClient& http);
// Why the folder could not be walked; nullopt when it was.
std::optional<Failure> WalkServerFolder(RunState& state, RunContext& run, TFtpClient& ftp,
                                        const std::string& folder, bool isUpdater);

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
                     std::int64_t size, TDateTime datum, const std::string& sha256 = "");

// ---- Signed releases ----

// A file or manifest that is not the vendor's release: the walk ends with
// its message.
class ReleaseRefused : public std::runtime_error {
 public:
  explicit ReleaseRefused(RunFailure refusal)
      : std::runtime_error(refusal.message), refusal_(std::move(refusal)) {}
  const RunFailure& refusal() const { return refusal_; }

 private:
  RunFailure refusal_;
};

enum class ReleaseFetch {
  Accepted,
  Cancelled,
  NotFetched,  // the server gave no manifest: none there, or it did not arrive
  Refused,
};

struct ReleaseAcceptance {
  ReleaseFetch outcome = ReleaseFetch::Accepted;
  RunFailure failure;  // for NotFetched and Refused
};

// The server folder's signed manifest, fetched over HTTP from `url` and
// checked: signed by a known key, for this product and folder, not expired,
// not older than the release this installation accepted last for the
// folder. The accepted one is kept (state.Releases, and beside the download
// folder for an install-only start); the floor rises only once the release
// has landed.
ReleaseAcceptance AcceptRelease(RunState& state, THttpClient& http, const std::string& url,
                                ReleaseFolder folder);
// Which of the two folders a walk root is.
ReleaseFolder FolderOfRoot(const RunState& state, const std::string& root);
// What the folder's manifest says of a server file (path relative to the
// root, with "/"); nullptr when updates are not signed. Throws
// ReleaseRefused for a file it does not list, or lists with another size.
const ReleasedFile* ReleasedEntry(const RunState& state, ReleaseFolder folder,
                                  const std::string& path, std::int64_t listedSize);
// Whether the walk enters a server folder (relative to the root, with "/"
// and a trailing "/"): with release keys only where the manifest names a
// file; without, always.
bool ReleaseNamesFolder(const RunState& state, ReleaseFolder folder,
                        const std::string& relativeFolder);
// After a root's walk: every file its manifest signs must have been listed
// (ReleaseRefused otherwise), so a withheld file cannot keep an old one.
void RequireEveryReleasedFileListed(const RunState& state, ReleaseFolder folder);

}  // namespace discovery
