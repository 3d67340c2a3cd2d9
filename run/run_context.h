// What the phases need from the window: they announce, show progress, ask
// and fail through it, and let it answer messages while they work.
#pragma once

#include <string>

#include "base/failure.h"
#include "base/status_style.h"

// The tray hint formats: "%s" the caption, "%d" the progress position.
enum class ProgressHint { Lade, Pruefe, Kopiere };

class RunContext {
 public:
  virtual ~RunContext() = default;

  // Shown in the status line and spoken when it is new.
  virtual void AnnounceStatus(const std::string& text) = 0;
  virtual std::string StatusText() const = 0;
  virtual void ShowProgress(int position, ProgressHint hint) = 0;
  // The failure convention: sError, window out of the tray, message, cancel;
  // the cause goes into the diagnostic log beside the message.
  virtual void Fail(const std::string& message, const Failure& cause) = 0;
  // A question after the window has left the tray; any answer but "&Ja"
  // cancels the run.
  virtual bool Confirm(const std::string& question) = 0;
  // A question after the window has left the tray; the caller decides what
  // a refusal means.
  virtual bool Ask(const std::string& question) = 0;
  virtual void ProcessMessages() = 0;

  virtual void SetTrayMode(bool toTray) = 0;
  virtual bool InTray() const = 0;
  virtual std::string Caption() const = 0;
  virtual void ApplyStatusStyle(const StatusStyle& style) = 0;
};
