#include "frontend/posix/terminal_input.h"

#include <cerrno>
#include <cstdlib>
#include <iterator>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

namespace {

// ---- Process-wide terminal and signal state ----

// Signal handlers can only reach plain globals.
int gStopPipe[2] = {-1, -1};
volatile std::sig_atomic_t gStopRequests = 0;
termios gCookedSettings{};
volatile std::sig_atomic_t gRawActive = 0;

void RestoreTerminal() {
  if (gRawActive) {
    tcsetattr(STDIN_FILENO, TCSANOW, &gCookedSettings);
    gRawActive = 0;
  }
}

extern "C" void OnStopSignal(int) {
  const int savedErrno = errno;
  gStopRequests = gStopRequests + 1;
  const char wake = 1;
  [[maybe_unused]] const ssize_t written = write(gStopPipe[1], &wake, 1);
  errno = savedErrno;
}

// The disposition is already back to default (SA_RESETHAND); the raised
// signal ends the process once this handler returns.
extern "C" void OnFatalSignal(int signalNumber) {
  RestoreTerminal();
  raise(signalNumber);
}

constexpr int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction gPreviousActions[std::size(kHandledSignals)];
int gLiveInputs = 0;

void SetHandler(int signalNumber, void (*handler)(int), int flags, struct sigaction* previous) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigemptyset(&action.sa_mask);
  sigaction(signalNumber, &action, previous);
}

// While a front end lives, a stop signal is a request to cancel, not the
// end of the process.
void InstallHandlers() {
  if (gLiveInputs++ > 0) return;
  static bool prepared = false;
  if (!prepared) {
    prepared = true;
    if (pipe2(gStopPipe, O_CLOEXEC | O_NONBLOCK) != 0) gStopPipe[0] = gStopPipe[1] = -1;
    std::atexit(RestoreTerminal);
  }
  for (std::size_t i = 0; i < std::size(kHandledSignals); ++i) {
    const int signalNumber = kHandledSignals[i];
    // A hang-up is a stop too: the run ends as cancelled, and its questions
    // find no terminal to answer them (no).
    const bool stop = signalNumber != SIGQUIT;
    SetHandler(signalNumber, stop ? OnStopSignal : OnFatalSignal, stop ? SA_RESTART : SA_RESETHAND,
               &gPreviousActions[i]);
  }
}

void RestoreHandlers() {
  if (--gLiveInputs > 0) return;
  for (std::size_t i = 0; i < std::size(kHandledSignals); ++i) {
    sigaction(kHandledSignals[i], &gPreviousActions[i], nullptr);
  }
}

void DrainStopPipe() {
  char drained[64];
  while (gStopPipe[0] >= 0 && read(gStopPipe[0], drained, sizeof drained) > 0) {
  }
}

// A background job changing terminal settings would be stopped (SIGTTOU).
bool InForeground() { return tcgetpgrp(STDIN_FILENO) == getpgrp(); }

std::optional<Key> KeyOf(char c) {
  switch (c) {
    case 0x1b:  // Esc
    case 0x03:  // Ctrl+C when the terminal passes it on as a key
      return Key::Cancel;
    case '\r':  // Enter and Ctrl+M
    case '\n':
      return Key::Enter;
    case 'o':
    case 'O':
      return Key::Open;
    default:
      return std::nullopt;
  }
}

}  // namespace

// ---- Terminal input ----

TerminalInput::TerminalInput()
    : stdinIsTerminal_(isatty(STDIN_FILENO) == 1),
      stopRequestsBefore_(gStopRequests),
      stopRequestsSeen_(gStopRequests) {
  InstallHandlers();
}

TerminalInput::~TerminalInput() {
  SetRawKeys(false);
  RestoreHandlers();
}

void TerminalInput::SetRawKeys(bool raw) {
  if (raw == raw_) return;
  if (!raw) {
    RestoreTerminal();
    raw_ = false;
    return;
  }
  if (!stdinIsTerminal_ || !InForeground() || tcgetattr(STDIN_FILENO, &gCookedSettings) != 0) {
    return;
  }
  termios settings = gCookedSettings;
  settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  settings.c_iflag &= ~static_cast<tcflag_t>(ICRNL);  // Enter arrives as Ctrl+M
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &settings) != 0) return;
  gRawActive = 1;
  raw_ = true;
}

std::vector<int> TerminalInput::Descriptors() const {
  std::vector<int> descriptors;
  if (gStopPipe[0] >= 0) descriptors.push_back(gStopPipe[0]);
  if (raw_) descriptors.push_back(STDIN_FILENO);
  return descriptors;
}

bool TerminalInput::StopRequestPending() const { return gStopRequests != stopRequestsSeen_; }

bool TerminalInput::StopRequestedEver() const { return gStopRequests != stopRequestsBefore_; }

bool TerminalInput::TakeStopRequest() {
  DrainStopPipe();
  if (!StopRequestPending()) return false;
  stopRequestsSeen_ = gStopRequests;
  return true;
}

std::vector<Key> TerminalInput::ReadKeys() {
  std::vector<Key> keys;
  if (!raw_) return keys;
  pollfd entry{STDIN_FILENO, POLLIN, 0};
  if (poll(&entry, 1, 0) <= 0) return keys;
  char typed[64];
  const ssize_t got = read(STDIN_FILENO, typed, sizeof typed);
  if (got < 0 && (errno == EINTR || errno == EAGAIN)) return keys;
  if (got <= 0) {  // the terminal is gone: stop listening to it
    SetRawKeys(false);
    stdinIsTerminal_ = false;
    return keys;
  }
  for (ssize_t i = 0; i < got; ++i) {
    if (typed[i] == 0x1b && i + 1 < got) {
      // Cursor and function keys send Esc with more in one go, Alt+key too:
      // skip to the final byte of the sequence.
      const char introducer = typed[++i];
      if (introducer == '[' || introducer == 'O') {
        while (++i < got && (typed[i] < 0x40 || typed[i] > 0x7e)) {
        }
      }
      continue;
    }
    if (const auto key = KeyOf(typed[i])) keys.push_back(*key);
  }
  return keys;
}

std::optional<std::string> TerminalInput::ReadLine(
    const std::function<std::vector<int>()>& alsoWaitOn,
    const std::function<void()>& onOtherReady) {
  const bool wasRaw = raw_;
  SetRawKeys(false);
  std::optional<std::string> answer;
  std::string line;
  // After a stop request nobody is asked: a question of a stopped run, open
  // or later, is answered no.
  while (!StopRequestedEver()) {
    std::vector<pollfd> entries = {{STDIN_FILENO, POLLIN, 0}, {gStopPipe[0], POLLIN, 0}};
    // Asked anew each time: serving a message opens and closes connections.
    for (int fd : alsoWaitOn()) entries.push_back({fd, POLLIN, 0});
    if (poll(entries.data(), entries.size(), -1) < 0 && errno != EINTR) break;
    if (StopRequestedEver()) break;
    if (entries[1].revents != 0) DrainStopPipe();  // a request from before this input
    for (std::size_t i = 2; i < entries.size(); ++i) {
      if (entries[i].revents != 0) {
        onOtherReady();
        break;
      }
    }
    if (entries[0].revents == 0) continue;
    char c;
    const ssize_t got = read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (!line.empty()) answer = line;  // a last line without a line break
      break;
    }
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      answer = line;
      break;
    }
    line += c;
  }
  SetRawKeys(wasRaw);
  return answer;
}
