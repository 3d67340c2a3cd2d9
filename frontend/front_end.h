// What a front end does for the run: the window with its status line,
// progress bar and two buttons, the tray icon, modal message boxes, the three
// phase timers and the processing of pending events. The Win32 window and
// the terminal are its two implementations; tests script their own.
#pragma once

#include <memory>
#include <string>

#include "base/status_style.h"
#include "platform/window_messages.h"

// What reaches the run from the user and from other processes.
class FrontEndEvents {
 public:
  virtual ~FrontEndEvents() = default;
  virtual void OnTimer(int timer) = 0;   // 1, 2 or 3
  virtual void OnCancelCommand() = 0;    // cancel button, Esc, Alt+F4
  virtual void OnMinimizeCommand() = 0;  // minimise button, Enter, Ctrl+M
  virtual void OnTrayRestore() = 0;      // tray click, "Öffnen"
  virtual void OnWindowMessage(unsigned message) = 0;
  virtual void OnActivation(bool active) = 0;
  virtual void OnResized() = 0;
  virtual void OnClose() = 0;  // the window closes; the loop ends afterwards
  // The front end's own handling of a message threw: the run ends as failed.
  virtual void OnUnexpectedError() = 0;
};

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;

  virtual void SetCaption(const std::string& caption) = 0;
  virtual std::string Caption() const = 0;
  // The window this front end receives the private messages on.
  virtual WindowHandle Handle() const = 0;

  virtual void ShowMainWindow() = 0;  // restore, show, bring to the foreground
  virtual void HideMainWindow() = 0;  // together with its taskbar button
  virtual bool MainWindowVisible() const = 0;
  virtual void ForceToFront() = 0;

  virtual void SetStatusText(const std::string& text) = 0;
  virtual std::string StatusText() const = 0;
  virtual void ApplyStatusStyle(const StatusStyle& style) = 0;

  virtual void SetProgress(int position) = 0;
  virtual int Progress() const = 0;

  virtual void SetTrayIconVisible(bool visible) = 0;
  virtual bool TrayIconVisible() const = 0;
  virtual void SetTrayHint(const std::string& hint) = 0;

  // Modal boxes, centred: "Informationen" with OK; "Bestätigen" with
  // "&Ja"/"&Nein", true only for "&Ja".
  virtual void ShowInformation(const std::string& text) = 0;
  virtual bool AskQuestion(const std::string& text) = 0;

  virtual void SetTimerEnabled(int timer, bool enabled) = 0;  // 250 ms
  virtual void ProcessMessages() = 0;
  // Runs until Close; shows the window first unless startHidden.
  virtual void RunMessageLoop(bool startHidden) = 0;
  // Runs OnClose and ends the message loop.
  virtual void Close() = 0;
};

// The platform's own front end.
std::unique_ptr<FrontEnd> CreateFrontEnd(FrontEndEvents& events);

// A message when there is no front end: before it exists or after it has
// gone.
void ShowInformationWithoutWindow(const std::string& text);
