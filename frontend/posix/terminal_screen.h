// What the terminal shows of the updater window: one live line redrawn in
// place on a terminal; a line per change otherwise, for logs and tests.
#pragma once

#include <string>

struct ScreenContent {
  std::string status;
  int progress = 0;
  bool windowVisible = false;
  bool trayIconVisible = false;
  std::string trayHint;

  // Hidden with a tray icon: only the hint is left to show.
  bool InNotificationArea() const { return !windowVisible && trayIconVisible; }
};

class TerminalScreen {
 public:
  explicit TerminalScreen(bool isTerminal);  // writes to stdout
  ~TerminalScreen();
  TerminalScreen(const TerminalScreen&) = delete;
  TerminalScreen& operator=(const TerminalScreen&) = delete;

  bool IsTerminal() const { return isTerminal_; }
  // Draws what changed since the last call.
  void Show(const ScreenContent& content);
  // Text of a message box, below the live line; the next Show draws that
  // line anew.
  void WriteText(const std::string& text);

 private:
  void ShowLive(const ScreenContent& content);
  void ShowChanges(const ScreenContent& content);

  bool isTerminal_;
  ScreenContent logged_;  // line-per-change mode: what the log already holds
  std::string liveLine_;
  bool liveLineDrawn_ = false;
};
