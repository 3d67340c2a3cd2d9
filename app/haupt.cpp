#include "app/haupt.h"

#include "resources/texts.h"
#include "deployment.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/strings.h"

// ---- Creation and destruction ----

TForm1::TForm1(std::vector<std::string> arguments, const FrontEndFactory& makeFrontEnd,
               std::unique_ptr<TTolkSRD> tolk)
    : FTolk(tolk ? std::move(tolk) : std::make_unique<TTolkSRD>()), args(std::move(arguments)) {
  frontEnd = makeFrontEnd(*this);
  FormCreate();
}

TForm1::~TForm1() {
  // The dispatcher unloads the screen-reader drivers when it goes.
  FTolk.reset();
  DownloadFiles.clear();
}

void TForm1::FormCreate() {
  IsClosing = false;
  IsProgActive = false;
  FAktFont = StatusStyle{};
  FTolk->Load();
  StartUpdater2S = false;
  Status = TStatus::sNoUpdated;
  MaxSize = AktSize = 0;
  KopiereS = false;
  CancelS = false;
  InstanceTitle = MakeInstanceTitle(Argument(1));
  ExePath = GetExecutablePath();
  CfgFilename.clear();
  UninstFilename = ChangeFileExt(ExePath, ".dat");
  VergleichFilename = GetTempFolder() + ChangeFileExt(OwnExeName(), ".fn");
  ConnectNr = 1;
  InitCaptions();
  ApplyFtpSettings();
  frontEnd->SetProgress(0);
  ApplyStatusFont();
}

void TForm1::InitCaptions() {
  frontEnd->SetCaption(InstanceTitle);
  frontEnd->SetTrayHint(InstanceTitle);
  AnnounceStatus(kTextLoadingConfig);
}

void TForm1::ApplyFtpSettings() {
  Ftp1.Configure(kFtpHost, kFtpPort);
  Ftp1.SetAccount(kFtpUser, kFtpPassword);
  Ftp1.onWork = [this] { frontEnd->ProcessMessages(); };
  HTTP1.onWork = [this] { frontEnd->ProcessMessages(); };
}

void TForm1::ApplyStatusFont() { frontEnd->ApplyStatusStyle(FAktFont); }

void TForm1::Run() {
  frontEnd->SetTimerEnabled(1, true);
  frontEnd->RunMessageLoop(SameText(Argument(3), "/M"));
}

// ---- Events ----

void TForm1::OnTimer(int timer) {
  switch (timer) {
    case 1:
      Timer1Timer();
      break;
    case 2:
      Timer2Timer();
      break;
    case 3:
      Timer3Timer();
      break;
    default:
      break;
  }
}

void TForm1::OnWindowMessage(unsigned message) {
  if (message == WM_SHOWREQUEST) {
    if (frontEnd->TrayIconVisible()) {
      SetTrayMode(false);
      return;
    }
    frontEnd->ForceToFront();
  } else if (message == WM_CLOSEREQUEST) {
    Button1Click();
  }
}

void TForm1::OnResized() {
  if (!IsClosing && frontEnd->MainWindowVisible()) ApplyStatusFont();
}

// ---- Commands ----

void TForm1::Button1Click() {
  CancelS = true;
  // From the copy step on the FTP connection is idle and stays untouched.
  if (!KopiereS) Ftp1.Abort();
}

void TForm1::Button2Click() { SetTrayMode(true); }

void TForm1::SetTrayMode(bool toTray) {
  if (toTray) {
    frontEnd->SetTrayIconVisible(true);
    frontEnd->HideMainWindow();
    return;
  }
  frontEnd->ShowMainWindow();
  frontEnd->SetTrayIconVisible(false);
  SendWindowMessage(frontEnd->Handle(), WM_SHOWREQUEST);
}

// ---- Status and progress ----

void TForm1::AnnounceStatus(const std::string& s) {
  const std::string trimmed = TrimControl(s);
  if (IsProgActive && !trimmed.empty() && trimmed != frontEnd->StatusText() &&
      !frontEnd->TrayIconVisible()) {
    FTolk->Speak(s, false);
  }
  frontEnd->SetStatusText(trimmed);
  frontEnd->ProcessMessages();
}

void TForm1::ShowProgress(int position, ProgressHint hint) {
  frontEnd->SetProgress(position);
  const char* format = hint == ProgressHint::Lade     ? kHintLade
                       : hint == ProgressHint::Pruefe ? kHintPruefe
                                                      : kHintKopiere;
  frontEnd->SetTrayHint(
      FormatText(format, {frontEnd->Caption(), std::to_string(frontEnd->Progress())}));
}

// ---- The failure convention ----

void TForm1::Fail(const std::string& message) {
  Status = TStatus::sError;
  SetTrayMode(false);
  frontEnd->ShowInformation(message);
  CancelS = true;
}

bool TForm1::Confirm(const std::string& question) {
  SetTrayMode(false);
  if (frontEnd->AskQuestion(question)) return true;
  CancelS = true;
  return false;
}

void TForm1::CloseWindow() { frontEnd->Close(); }

// ---- Small accessors ----

const std::string& TForm1::Argument(std::size_t index) const {
  static const std::string kNone;
  return index < args.size() ? args[index] : kNone;
}

std::string TForm1::OwnExeName() const { return ExtractFileName(ExePath); }

bool TForm1::SaveCopiedMarker(const std::string& value) {
  CfgSl.lines.resize(std::max<std::size_t>(CfgSl.lines.size(), 21));
  CfgSl.lines[20] = value;
  return SaveListFile(CfgFilename, CfgSl);
}
