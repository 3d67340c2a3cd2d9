#include "frontend/posix/terminal_screen.h"

#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/posix/utf8_text.h"

namespace {

// ---- Text fitting ----

int TerminalColumns() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 20) return size.ws_col;
  return 80;
}

// Control characters would break a line that is redrawn in place.
std::string OneLine(const std::string& text) {
  std::string line = text;
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = ' ';
  }
  return line;
}

std::string ProgressSuffix(int progress) {
  char text[32];
  std::snprintf(text, sizeof text, "[%3d %%]", progress);
  return text;
}

// A line that wraps could no longer be redrawn with a carriage return.
std::string LiveLine(const ScreenContent& content, int columns) {
  const std::size_t room = static_cast<std::size_t>(columns - 1);
  if (content.InNotificationArea()) {
    return FirstCharacters(
        OneLine("Infobereich: " + content.trayHint + "  (Eingabe oder o: öffnen)"), room);
  }
  if (!content.windowVisible) return {};
  const std::string suffix = "   " + ProgressSuffix(content.progress);
  const std::size_t suffixLength = CharacterCount(suffix);
  if (room <= suffixLength) return FirstCharacters(OneLine(content.status), room);
  return FirstCharacters(OneLine(content.status), room - suffixLength) + suffix;
}

void Write(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

// ---- Screen ----

TerminalScreen::TerminalScreen(bool isTerminal) : isTerminal_(isTerminal) {}

TerminalScreen::~TerminalScreen() {
  // The shell prompt goes below the last status rather than over it.
  if (liveLineDrawn_ && !liveLine_.empty()) Write("\n");
}

void TerminalScreen::Show(const ScreenContent& content) {
  if (isTerminal_) {
    ShowLive(content);
  } else {
    ShowChanges(content);
  }
}

void TerminalScreen::WriteText(const std::string& text) {
  if (liveLineDrawn_) {
    Write("\r\033[K");
    liveLineDrawn_ = false;
  }
  Write(text);
}

void TerminalScreen::ShowLive(const ScreenContent& content) {
  const std::string line = LiveLine(content, TerminalColumns());
  if (liveLineDrawn_ && line == liveLine_) return;
  Write("\r" + line + "\033[K");
  liveLine_ = line;
  liveLineDrawn_ = true;
}

void TerminalScreen::ShowChanges(const ScreenContent& content) {
  std::string lines;
  // A hidden window shows nothing; once it is back, it shows its status and
  // progress as they are then.
  if (content.windowVisible) {
    if (content.status != logged_.status && !content.status.empty()) lines += content.status + "\n";
    if (content.progress != logged_.progress) {
      lines += "Fortschritt: " + std::to_string(content.progress) + " %\n";
    }
    logged_.status = content.status;
    logged_.progress = content.progress;
  }
  if (content.InNotificationArea() &&
      (!logged_.InNotificationArea() || content.trayHint != logged_.trayHint)) {
    lines += "Infobereich: " + content.trayHint + "\n";
  }
  logged_.windowVisible = content.windowVisible;
  logged_.trayIconVisible = content.trayIconVisible;
  logged_.trayHint = content.trayHint;
  if (!lines.empty()) Write(lines);
}
