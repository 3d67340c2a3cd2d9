// The state of one update run as plain data: what the configuration file
// says, where the run stands, and the lists the phases hand on to each other.
// The window owns it; the phases read and change it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/date_time.h"
#include "base/status_style.h"
#include "platform/file_info.h"
#include "platform/list_file.h"
#include "run/installed_record.h"
#include "trust/release_manifest.h"

enum class TStatus : std::uint8_t { sNoUpdated, sYesUpdated, sIsUpdated, sError };

// What a phase hands on to when it ends.
enum class NextStep : std::uint8_t { Download, Install, Close };

// Two texts indexed 1 and 2 by the connection number.
struct TConnectNrArr {
  std::string items[2];
  std::string& operator[](int connectNr) { return items[connectNr - 1]; }
  const std::string& operator[](int connectNr) const { return items[connectNr - 1]; }
};

struct TDownloadFile {
  TDateTime Datum = 0;
  std::int64_t Size = 0;
  std::string Name;
  std::string ServOrdner;
  std::string InstOrdner;
  std::string DownOrdner;
  // What the release manifest says the file's bytes hash to; empty when
  // updates are not signed.
  std::string Sha256;
};
using TDownloadFiles = std::vector<TDownloadFile>;

// What the installation phase found in its looks at one file of the install
// list.
struct TListedFile {
  FileFacts Downloaded;
  // Once verification has looked at the installed file in its place.
  std::optional<FileFacts> Installed;
};

// Configuration line 20, the copied marker: "1" once a file has been copied
// since the marker was last reset; compared exactly.
inline constexpr std::size_t kCopiedMarkerLine = 20;

struct RunState {
  // ---- Command line ----
  // args[0] is the executable path, args[1] the configuration file name.
  std::vector<std::string> args;
  std::string ExePath;
  std::string InstanceTitle;

  // ---- Configuration ----
  std::string CfgFilename;
  ListFile CfgSl;
  StatusStyle FAktFont;  // status font and FAktBackColor
  std::string MutexTitel;
  std::string FensterTitel;
  std::string InstallOrdner;
  std::string DownloadOrdner;
  TConnectNrArr UpdaterOrdner;
  TConnectNrArr ServerOrdner;
  std::string UninstFilename;
  ListFile UninstSl;
  std::string VergleichFilename;
  std::string JobsFilename;
  ListFile JobsSl;

  // ---- Signed releases ----
  // The vendor's keys; without any, what the server offers is installed
  // unchecked.
  std::vector<PublicKey> ReleaseKeys;
  // The product the manifests must name.
  std::string ReleaseProduct;
  // The manifests accepted for the updater's folder and the product's, both
  // laid over the download folder.
  std::map<ReleaseFolder, ReleaseManifest> Releases;
  // Download-folder paths (relative, with "/") whose bytes this run has
  // checked against a manifest.
  std::set<std::string> CheckedDownloads;
  // Paths (relative to their root, with "/") of the signed files the walk
  // found listed: the manifest says what the release is, and a signed file
  // the listing lacks ends the walk.
  std::set<std::string> ListedReleaseFiles;
  // The signed SHA-256 of each file waiting in the download folder (relative,
  // with "/") whose bytes were checked against a manifest or unpacked from a
  // checked archive.
  std::map<std::string, std::string> WaitingSha256;
  // What the updater installed with release keys, read at the start of the
  // run; what the run learns joins it, and it is written with the next
  // installation.
  InstalledRecord Installed;

  // ---- Where the run stands ----
  TStatus Status = TStatus::sNoUpdated;
  int ConnectNr = 1;
  bool CancelS = false;
  bool KopiereS = false;
  bool StartUpdater2S = false;
  // How much of the server the walk has listed so far.
  int WalkedFolders = 0;
  std::int64_t WalkedEntries = 0;
  std::int64_t MaxSize = 0;
  std::int64_t AktSize = 0;

  // ---- Lists ----
  TDownloadFiles DownloadFiles;
  // Where every file the server walk found belongs once installed, fetched
  // or already current: what a sweep job keeps.
  std::vector<std::string> ServerFiles;
  // The install list: paths relative to the download folder.
  std::vector<std::string> OrdnerFiles;
  // What the list's one look at each of its files found, by entry.
  std::unordered_map<std::string, TListedFile> OrdnerFacts;

  const std::string& Argument(std::size_t index) const;
  // The updater's own executable file name ("Quennvoldar.exe", ...).
  std::string OwnExeName() const;
  std::string CopiedMarker() const;
  // Where the record of what was installed with release keys lies.
  std::string InstalledRecordFilename() const;
  // Sets the copied marker and saves the configuration file; false when not
  // saved.
  bool SaveCopiedMarker(const std::string& value);
};
