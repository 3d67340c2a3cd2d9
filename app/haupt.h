// TForm1: the main window and the complete state of one update run. The
// three phases are the handlers of its three timers; each subsystem defines
// its own methods in its own folder (discovery/, download/, install/).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "accessibility/tolk_srd.h"
#include "discovery/ftp_client.h"
#include "download/http_client.h"
#include "platform/date_time.h"
#include "platform/front_end.h"
#include "platform/list_file.h"

enum class TStatus : std::uint8_t { sNoUpdated, sYesUpdated, sIsUpdated, sError };

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
};
using TDownloadFiles = std::vector<TDownloadFile>;

// The tray hint formats: "%s" the caption, "%d" the progress position.
enum class ProgressHint { Lade, Pruefe, Kopiere };

class TForm1 : public FrontEndEvents {
 public:
  using FrontEndFactory = std::function<std::unique_ptr<FrontEnd>(FrontEndEvents&)>;

  // args[0] is the executable path, args[1] the configuration file name.
  TForm1(std::vector<std::string> args, const FrontEndFactory& makeFrontEnd,
         std::unique_ptr<TTolkSRD> tolk = nullptr);
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Runs the message loop until the window has closed.
  void Run();

  // ---- Front-end events ----
  void OnTimer(int timer) override;
  void OnCancelCommand() override { Button1Click(); }
  void OnMinimizeCommand() override { Button2Click(); }
  void OnTrayRestore() override { SetTrayMode(false); }
  void OnWindowMessage(unsigned message) override;
  void OnActivation(bool active) override { IsProgActive = active; }
  void OnResized() override;
  void OnClose() override { FormClose(); }

  // ---- Run shell ----
  void Button1Click();
  void Button2Click();
  void SetTrayMode(bool toTray);
  void AnnounceStatus(const std::string& s);
  bool LoadConfig();
  void SyncUninstList(bool load);
  void FormClose();
  void ApplyStatusFont();

  // ---- Discovery ----
  void Timer1Timer();
  bool DownloadSelfUpdate();
  void Ftp1AfterClientLogin();
  bool WalkServerFolder(const std::string& folder, bool isUpdater);
  void CheckServerFile(const FtpListItem& item, const std::string& folder,
                       const std::string& name, const std::string& root);
  void AddDownloadFile(const std::string& name, const std::string& servOrdner,
                       const std::string& instOrdner, const std::string& downOrdner,
                       std::int64_t size, TDateTime datum);

  // ---- Download ----
  void Timer2Timer();
  bool HttpDownloadFile(const std::string& url, const std::string& target);

  // ---- Installation ----
  void Timer3Timer();
  void RunJobs();
  bool ExtractArchives();
  bool ExtractArchive(const std::string& zipFileName);
  void BuildInstallList();
  void CollectFiles(const std::string& folder);
  void MoveToFront(const std::string& name);
  void RemoveEmptyFolders(const std::string& folder);
  bool CloseMainProgram();
  bool VerifyFiles();
  bool FilesIdentical(const std::string& fileA, const std::string& fileB);
  bool CopyFiles();
  bool CopyOneFile(const std::string& source, const std::string& dest);
  void UpdateUninstallEntry();
  std::string GetMainProgramVersion();
  void RewriteShortcuts();

  // ---- Shared by the phases ----
  // The failure convention: sError, window out of the tray, message, cancel.
  void Fail(const std::string& message);
  // A question after SetTrayMode(false); any answer but "&Ja" cancels.
  bool Confirm(const std::string& question);
  void CloseWindow();
  void ShowProgress(int position, ProgressHint hint);
  // Sets configuration line 20 and saves the file; false when not saved.
  bool SaveCopiedMarker(const std::string& value);
  const std::string& Argument(std::size_t index) const;
  // The updater's own executable file name ("Quennvoldar.exe", ...).
  std::string OwnExeName() const;

  // ---- Run state ----
  std::unique_ptr<FrontEnd> frontEnd;
  TFtpClient Ftp1;
  THttpClient HTTP1;
  StatusStyle FAktFont;  // status font and FAktBackColor
  std::unique_ptr<TTolkSRD> FTolk;
  bool IsClosing = false;
  bool IsProgActive = false;
  int ConnectNr = 1;
  std::int64_t MaxSize = 0;
  std::int64_t AktSize = 0;
  TStatus Status = TStatus::sNoUpdated;
  bool StartUpdater2S = false;
  bool KopiereS = false;
  bool CancelS = false;
  TDownloadFiles DownloadFiles;
  // Where every file the server walk found belongs once installed, fetched
  // or already current: what a sweep job keeps.
  std::vector<std::string> ServerFiles;
  std::vector<std::string> OrdnerFiles;
  std::string CfgFilename;
  ListFile CfgSl;
  std::string UninstFilename;
  ListFile UninstSl;
  std::string VergleichFilename;
  std::string JobsFilename;
  ListFile JobsSl;
  std::string MutexTitel;
  std::string FensterTitel;
  std::string InstallOrdner;
  std::string DownloadOrdner;
  TConnectNrArr UpdaterOrdner;
  TConnectNrArr ServerOrdner;

  std::vector<std::string> args;
  std::string InstanceTitle;
  std::string ExePath;
  // Gives up the single-instance mutex early, before the second copy starts.
  std::function<void()> releaseInstanceGuard;

 private:
  void FormCreate();
  void InitCaptions();
  void ApplyFtpSettings();
  void DeleteRunFiles();
};

// "%s - Quennvoldar V1.44" from the configuration file argument.
std::string MakeInstanceTitle(const std::string& firstArgument);
std::string OutcomeMessage(TStatus status, const std::string& productName);
