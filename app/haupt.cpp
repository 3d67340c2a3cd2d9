#include "app/haupt.h"

#include "base/strings.h"
#include "deployment.h"
#include "discovery/discovery.h"
#include "download/download.h"
#include "install/install.h"
#include "network/tls_policy.h"
#include "platform/file_system.h"
#include "platform/locale.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "resources/texts.h"
#include "run/config.h"

namespace {

constexpr int kDiscoveryTimer = 1;
constexpr int kDownloadTimer = 2;
constexpr int kInstallTimer = 3;

}  // namespace

// ---- Creation and destruction ----

TForm1::TForm1(std::vector<std::string> arguments, const FrontEndFactory& makeFrontEnd,
               std::unique_ptr<TTolkSRD> tolk)
    : FTolk(tolk ? std::move(tolk) : std::make_unique<TTolkSRD>()) {
  state_.args = std::move(arguments);
  frontEnd = makeFrontEnd(*this);
  FormCreate();
}

TForm1::~TForm1() {
  // The dispatcher unloads the screen-reader drivers when it goes.
  FTolk.reset();
}

void TForm1::FormCreate() {
  FTolk->Load();
  state_.InstanceTitle = MakeInstanceTitle(state_.Argument(1));
  state_.ExePath = GetExecutablePath();
  state_.UninstFilename = ChangeFileExt(state_.ExePath, ".dat");
  state_.VergleichFilename = GetTempFolder() + ChangeFileExt(state_.OwnExeName(), ".fn");
  // The build checked the keys' form.
  state_.ReleaseKeys = ParsePublicKeys(kReleaseKeys).value_or(std::vector<PublicKey>{});
  state_.ReleaseProduct = kReleaseProduct;
  Log("start", state_.ExePath + " " + state_.Argument(1) + " " + state_.Argument(2) + " " +
                   state_.Argument(3));
  InitCaptions();
  ApplyFtpSettings();
  frontEnd->SetProgress(0);
  ApplyStatusStyle(state_.FAktFont);
}

void TForm1::InitCaptions() {
  frontEnd->SetCaption(state_.InstanceTitle);
  frontEnd->SetTrayHint(state_.InstanceTitle);
  AnnounceStatus(kTextLoadingConfig);
}

void TForm1::ApplyFtpSettings() {
  const TlsPolicy tls{kFtpTls, kTlsCaFile};
  Ftp1.Configure(kFtpHost, kFtpPort, tls);
  HTTP1.SetTlsPolicy(tls);
  Ftp1.SetAccount(kFtpUser, kFtpPassword);
  Ftp1.onWork = [this] { frontEnd->ProcessMessages(); };
  Ftp1.cancelRequested = [this] { return state_.CancelS; };
  HTTP1.onWork = [this] { frontEnd->ProcessMessages(); };
  HTTP1.cancelRequested = [this] { return state_.CancelS; };
}

void TForm1::Run() {
  // Retry pauses anywhere below keep the window answering.
  answering_ = std::make_unique<ScopedAnsweringHook>([this] {
    frontEnd->ProcessMessages();
    return !state_.CancelS;
  });
  frontEnd->SetTimerEnabled(kDiscoveryTimer, true);
  frontEnd->RunMessageLoop(SameText(state_.Argument(3), "/M"));
  answering_.reset();
}

void TForm1::SetInstanceGuardRelease(std::function<void()> release) {
  releaseInstanceGuard = std::move(release);
}

// ---- The phases ----

// The run's road: discovery, download, installation. Each phase runs from a
// timer of its own, so the window is shown and answers before it starts.
NextStep TForm1::RunPhase(int timer) {
  switch (timer) {
    case kDiscoveryTimer:
      return discovery::Timer1Timer(state_, *this, Ftp1, HTTP1);
    case kDownloadTimer:
      return download::Timer2Timer(state_, *this, HTTP1);
    case kInstallTimer:
      return install::Timer3Timer(state_, *this);
    default:
      return NextStep::Close;
  }
}

void TForm1::GoOn(NextStep next) {
  switch (next) {
    case NextStep::Download:
      frontEnd->SetTimerEnabled(kDownloadTimer, true);
      break;
    case NextStep::Install:
      frontEnd->SetTimerEnabled(kInstallTimer, true);
      break;
    case NextStep::Close:
      CloseWindow();
      break;
  }
}

void TForm1::OnTimer(int timer) {
  frontEnd->SetTimerEnabled(timer, false);
  Guarded([this, timer] { GoOn(RunPhase(timer)); });
}

// ---- Unexpected exceptions ----

void TForm1::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    EndWithError();
  }
}

void TForm1::EndWithError() {
  state_.Status = TStatus::sError;
  state_.CancelS = true;
  state_.StartUpdater2S = false;
  // The close handler shows the outcome; a failure while closing already
  // has its outcome on the way.
  if (!IsClosing) CloseWindow();
}

// ---- Events ----

void TForm1::OnCancelCommand() {
  Guarded([this] { Button1Click(); });
}

void TForm1::OnMinimizeCommand() {
  Guarded([this] { Button2Click(); });
}

void TForm1::OnTrayRestore() {
  Guarded([this] { SetTrayMode(false); });
}

void TForm1::OnWindowMessage(unsigned message) {
  Guarded([this, message] {
    if (message == WM_SHOWREQUEST) {
      if (frontEnd->TrayIconVisible()) {
        SetTrayMode(false);
        return;
      }
      frontEnd->ForceToFront();
    } else if (message == WM_CLOSEREQUEST) {
      Button1Click();
    }
  });
}

void TForm1::OnActivation(bool active) { IsProgActive = active; }

void TForm1::OnResized() {
  Guarded([this] {
    if (!IsClosing && frontEnd->MainWindowVisible()) ApplyStatusStyle(state_.FAktFont);
  });
}

void TForm1::OnClose() {
  // An exception inside the close handler has nothing left to close: the
  // outcome of a failed run is shown as the last thing.
  try {
    FormClose();
  } catch (...) {
    state_.Status = TStatus::sError;
    frontEnd->ShowInformation(OutcomeMessage(TStatus::sError, ProductName(state_)));
  }
}

void TForm1::OnUnexpectedError() { EndWithError(); }

// ---- Commands ----

// The clients ask for the cancel while they wait; from the copy step on the
// FTP connection is idle and stays untouched.
void TForm1::Button1Click() { state_.CancelS = true; }

// Whoever sends the window away hears first where it goes and how it comes back.
void TForm1::Button2Click() {
  FTolk->Speak(kTextToTray, true);
  SetTrayMode(true);
}

void TForm1::SetTrayMode(bool toTray) {
  if (toTray) {
    frontEnd->SetTrayIconVisible(true);
    frontEnd->HideMainWindow();
    return;
  }
  const bool wasInTray = frontEnd->TrayIconVisible();
  frontEnd->ShowMainWindow();
  frontEnd->SetTrayIconVisible(false);
  // Status lines passed in the tray were not spoken; the current one is.
  if (wasInTray) FTolk->Speak(frontEnd->StatusText(), false);
  SendWindowMessage(frontEnd->Handle(), WM_SHOWREQUEST);
}

bool TForm1::InTray() const { return frontEnd->TrayIconVisible(); }

std::string TForm1::Caption() const { return frontEnd->Caption(); }

void TForm1::ApplyStatusStyle(const StatusStyle& style) { frontEnd->ApplyStatusStyle(style); }

void TForm1::ProcessMessages() { frontEnd->ProcessMessages(); }

// ---- Status and progress ----

void TForm1::AnnounceStatus(const std::string& text) {
  const std::string trimmed = TrimControl(text);
  if (trimmed != frontEnd->StatusText()) Log("status", trimmed);
  if (IsProgActive && !trimmed.empty() && trimmed != frontEnd->StatusText() &&
      !frontEnd->TrayIconVisible()) {
    FTolk->Speak(text, false);
  }
  frontEnd->SetStatusText(trimmed);
  frontEnd->ProcessMessages();
}

std::string TForm1::StatusText() const { return frontEnd->StatusText(); }

void TForm1::ShowProgress(int position, ProgressHint hint) {
  frontEnd->SetProgress(position);
  const char* format = hint == ProgressHint::Lade     ? kHintLade
                       : hint == ProgressHint::Pruefe ? kHintPruefe
                                                      : kHintKopiere;
  frontEnd->SetTrayHint(
      FormatText(format, {frontEnd->Caption(), std::to_string(frontEnd->Progress())}));
}

// ---- Failing and asking ----

void TForm1::Fail(const std::string& message, const Failure& cause) {
  Log("failure", DescribeFailure(cause) + "; shown: " + message);
  state_.Status = TStatus::sError;
  SetTrayMode(false);
  frontEnd->ShowInformation(message);
  state_.CancelS = true;
}

bool TForm1::Confirm(const std::string& question) {
  if (Ask(question)) return true;
  state_.CancelS = true;
  return false;
}

bool TForm1::Ask(const std::string& question) {
  SetTrayMode(false);
  Log("question", question);
  const bool yes = frontEnd->AskQuestion(question);
  Log("answer", yes ? "yes" : "no");
  return yes;
}

void TForm1::Log(const std::string& event, const std::string& detail) {
  if (!log_.IsOpen() && !state_.DownloadOrdner.empty()) {
    log_.Open(DiagnosticLogFolderOf(state_.DownloadOrdner));
  }
  log_.Write(event, detail);
}

void TForm1::CloseWindow() { frontEnd->Close(); }
