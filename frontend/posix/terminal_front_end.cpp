// The updater window in a terminal: a status line with the progress, keys
// for the two buttons, questions on stdin, the three phase timers, and a
// MessageWindow so other processes find the run by its caption.
#include <array>
#include <chrono>
#include <cstdio>

#include <poll.h>
#include <unistd.h>

#include "frontend/front_end.h"
#include "frontend/posix/terminal_input.h"
#include "frontend/posix/terminal_screen.h"
#include "platform/posix/message_window_posix.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kTimerInterval = std::chrono::milliseconds(250);

// ---- Message box texts ----

// Message texts break lines the Windows way.
std::string WithNewlines(const std::string& text) {
  std::string converted;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      converted += text[i];
    } else if (i + 1 >= text.size() || text[i + 1] != '\n') {
      converted += '\n';
    }
  }
  return converted;
}

bool IsYes(const std::string& answer) {
  std::string word;
  for (char c : answer) {
    if (c == ' ' || c == '\t' || c == '\r') continue;
    word += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return word == "j" || word == "ja";
}

// ---- Front end ----

class TerminalFrontEnd final : public FrontEnd {
 public:
  explicit TerminalFrontEnd(FrontEndEvents& events)
      : events_(events),
        // The window answers until it is gone, also while the close handler
        // asks its last question, as a window on Windows does.
        window_("", [this](unsigned message) { events_.OnWindowMessage(message); }),
        screen_(isatty(STDOUT_FILENO) == 1) {
    SetRaisedCallback(window_.Handle(), [this] { ShowMainWindow(); });
  }

  ~TerminalFrontEnd() override { SetRaisedCallback(window_.Handle(), nullptr); }

  void SetCaption(const std::string& caption) override {
    caption_ = caption;
    window_.SetTitle(caption);
  }
  std::string Caption() const override { return caption_; }
  WindowHandle Handle() const override { return window_.Handle(); }

  void ShowMainWindow() override {
    const bool wasVisible = content_.windowVisible;
    content_.windowVisible = true;
    window_.BringToTop();
    Redraw();
    if (!wasVisible) events_.OnActivation(true);
  }

  void HideMainWindow() override {
    const bool wasVisible = content_.windowVisible;
    content_.windowVisible = false;
    Redraw();
    if (wasVisible) events_.OnActivation(false);
  }

  bool MainWindowVisible() const override { return content_.windowVisible; }

  void ForceToFront() override {
    window_.BringToTop();
    Redraw();
  }

  void SetStatusText(const std::string& text) override {
    content_.status = text;
    Redraw();
  }
  std::string StatusText() const override { return content_.status; }
  // A terminal has no fonts or colours; the style is only kept.
  void ApplyStatusStyle(const StatusStyle& style) override { style_ = style; }

  void SetProgress(int position) override {
    content_.progress = position;
    Redraw();
  }
  int Progress() const override { return content_.progress; }

  void SetTrayIconVisible(bool visible) override {
    content_.trayIconVisible = visible;
    Redraw();
  }
  bool TrayIconVisible() const override { return content_.trayIconVisible; }
  void SetTrayHint(const std::string& hint) override {
    content_.trayHint = hint;
    Redraw();
  }

  void ShowInformation(const std::string& text) override {
    screen_.WriteText("Informationen:\n" + WithNewlines(text) + "\n");
    // Only a person at a terminal is waited for.
    if (input_.StdinIsTerminal()) {
      screen_.WriteText("Weiter mit der Eingabetaste. ");
      if (!ReadLineServingWindow()) screen_.WriteText("\n");
    }
    Redraw();
  }

  bool AskQuestion(const std::string& text) override {
    screen_.WriteText("Bestätigen:\n" + WithNewlines(text) + " [J/N] ");
    const std::optional<std::string> answer = ReadLineServingWindow();
    // A terminal echoes the typed line itself; a log gets it written.
    if (!input_.StdinIsTerminal()) {
      screen_.WriteText(answer.value_or("") + "\n");
    } else if (!answer) {
      screen_.WriteText("\n");
    }
    Redraw();
    return answer && IsYes(*answer);
  }

  void SetTimerEnabled(int timer, bool enabled) override {
    if (timer < 1 || timer > static_cast<int>(timers_.size())) return;
    Timer& slot = timers_[static_cast<std::size_t>(timer - 1)];
    if (enabled && !slot.enabled) slot.due = Clock::now() + kTimerInterval;
    slot.enabled = enabled;
  }

  // Never fires timers: a phase must not run again inside itself.
  void ProcessMessages() override { HandleInput(0); }

  void RunMessageLoop(bool startHidden) override {
    if (!startHidden) ShowMainWindow();
    input_.SetRawKeys(true);
    while (!closeRequested_) {
      HandleInput(MillisecondsToNextTimer());
      if (!closeRequested_) FireDueTimers();
    }
    input_.SetRawKeys(false);
  }

  void Close() override {
    closeRequested_ = true;
    if (onCloseCalled_) return;
    onCloseCalled_ = true;
    events_.OnClose();
  }

 private:
  struct Timer {
    bool enabled = false;
    Clock::time_point due;
  };

  void Redraw() { screen_.Show(content_); }

  // Messages from other processes are handled while a box waits for input,
  // as a modal box on Windows does.
  std::optional<std::string> ReadLineServingWindow() {
    return input_.ReadLine([this] { return MessageWindowDescriptors(window_.Handle()); },
                           [this] { window_.ProcessMessages(0); });
  }

  // Waits at most timeoutMs for anything, then handles all that is there.
  void HandleInput(int timeoutMs) {
    std::vector<pollfd> entries;
    for (int fd : input_.Descriptors()) entries.push_back({fd, POLLIN, 0});
    for (int fd : MessageWindowDescriptors(window_.Handle())) entries.push_back({fd, POLLIN, 0});
    poll(entries.data(), entries.size(), timeoutMs);  // a signal just cuts the wait short
    // Once closing, a further Ctrl+C has nothing left to cancel.
    if (input_.TakeStopRequest() && !closeRequested_) events_.OnCancelCommand();
    for (Key key : input_.ReadKeys()) {
      if (closeRequested_) break;
      HandleKey(key);
    }
    window_.ProcessMessages(0);
  }

  void HandleKey(Key key) {
    const bool inTray = content_.InNotificationArea();
    switch (key) {
      case Key::Cancel:
        events_.OnCancelCommand();
        break;
      case Key::Enter:
        if (content_.windowVisible) {
          events_.OnMinimizeCommand();
        } else if (inTray) {
          events_.OnTrayRestore();
        }
        break;
      case Key::Open:
        if (inTray) events_.OnTrayRestore();
        break;
    }
  }

  int MillisecondsToNextTimer() const {
    int wait = -1;
    const auto now = Clock::now();
    for (const Timer& timer : timers_) {
      if (!timer.enabled) continue;
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(timer.due - now).count();
      const int clamped = left < 0 ? 0 : static_cast<int>(left);
      if (wait < 0 || clamped < wait) wait = clamped;
    }
    return wait;
  }

  void FireDueTimers() {
    for (std::size_t i = 0; i < timers_.size() && !closeRequested_; ++i) {
      const auto now = Clock::now();
      if (!timers_[i].enabled || now < timers_[i].due) continue;
      timers_[i].due = now + kTimerInterval;
      events_.OnTimer(static_cast<int>(i + 1));
    }
  }

  FrontEndEvents& events_;
  bool closeRequested_ = false;
  bool onCloseCalled_ = false;
  std::string caption_;
  StatusStyle style_;
  ScreenContent content_;
  std::array<Timer, 3> timers_{};
  MessageWindow window_;
  TerminalScreen screen_;
  TerminalInput input_;
};

}  // namespace

// ---- Factory ----

std::unique_ptr<FrontEnd> CreateFrontEnd(FrontEndEvents& events) {
  return std::make_unique<TerminalFrontEnd>(events);
}

void ShowInformationWithoutWindow(const std::string& text) {
  std::fprintf(stderr, "Informationen:\n%s\n", WithNewlines(text).c_str());
}
