// TForm1: the main window of one update run. It owns the run state, the two
// network clients, the front end and the screen-reader dispatcher, runs the
// three phases one after another on its timers, and offers the phases what
// they need from the window.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "accessibility/tolk_srd.h"
#include "frontend/front_end.h"
#include "network/ftp_client.h"
#include "network/http_client.h"
#include "platform/clock.h"
#include "run/diagnostic_log.h"
#include "run/run_context.h"
#include "run/run_state.h"

class TForm1 : public FrontEndEvents, public RunContext {
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
  // Gives up the single-instance mutex early, before the second copy starts.
  void SetInstanceGuardRelease(std::function<void()> release);

  // For tests and benchmarks, which drive single operations of a phase.
  RunState& State() { return state_; }
  TFtpClient& Ftp() { return Ftp1; }
  THttpClient& Http() { return HTTP1; }

  // ---- Front-end events ----
  void OnTimer(int timer) override;
  void OnCancelCommand() override;
  void OnMinimizeCommand() override;
  void OnTrayRestore() override;
  void OnWindowMessage(unsigned message) override;
  void OnActivation(bool active) override;
  void OnResized() override;
  void OnClose() override;
  void OnUnexpectedError() override;

  // ---- Commands ----
  void Button1Click();
  void Button2Click();

  // ---- What the phases use ----
  void AnnounceStatus(const std::string& text) override;
  std::string StatusText() const override;
  void ShowProgress(int position, ProgressHint hint) override;
  void Fail(const std::string& message, const Failure& cause) override;
  bool Confirm(const std::string& question) override;
  bool Ask(const std::string& question) override;
  void ProcessMessages() override;
  void SetTrayMode(bool toTray) override;
  bool InTray() const override;
  std::string Caption() const override;
  void ApplyStatusStyle(const StatusStyle& style) override;

 private:
  void FormCreate();
  void InitCaptions();
  void ApplyFtpSettings();
  NextStep RunPhase(int timer);
  void GoOn(NextStep next);
  // An exception nothing else caught ends the run as failed, with the
  // outcome message of a failed run.
  void Guarded(const std::function<void()>& handler);
  void EndWithError();
  void CloseWindow();
  void FormClose();
  void DeleteRunFiles();
  // The diagnostic log's line; its folder is known once the configuration
  // named the download folder.
  void Log(const std::string& event, const std::string& detail);

  RunState state_;
  DiagnosticLog log_;
  std::unique_ptr<FrontEnd> frontEnd;
  TFtpClient Ftp1;
  THttpClient HTTP1;
  std::unique_ptr<TTolkSRD> FTolk;
  std::unique_ptr<ScopedAnsweringHook> answering_;
  bool IsClosing = false;
  bool IsProgActive = false;
  std::function<void()> releaseInstanceGuard;
};

std::string OutcomeMessage(TStatus status, const std::string& productName);
// Configuration line 4, the product's name in the outcome messages.
std::string ProductName(const RunState& state);
