// Keys and stop requests for the terminal front end. While the message loop
// runs, a terminal on stdin delivers single keys (raw mode); its settings
// come back when the loop ends, at exit and on SIGQUIT. SIGINT, SIGTERM and
// SIGHUP only mark a stop request for the loop to act on.
#pragma once

#include <csignal>
#include <functional>
#include <optional>
#include <string>
#include <vector>

enum class Key { Cancel, Enter, Open };

class TerminalInput {
 public:
  TerminalInput();
  ~TerminalInput();
  TerminalInput(const TerminalInput&) = delete;
  TerminalInput& operator=(const TerminalInput&) = delete;

  bool StdinIsTerminal() const { return stdinIsTerminal_; }
  // Single keys without echo; only for a terminal in the foreground.
  void SetRawKeys(bool raw);
  // What to wait on: the stop-request pipe and, in raw mode, stdin.
  std::vector<int> Descriptors() const;
  // True once for every burst of SIGINT/SIGTERM since the last call.
  bool TakeStopRequest();
  // Keys typed so far, without waiting; cursor and function keys dropped.
  std::vector<Key> ReadKeys();
  // One line of stdin without its line break, with echo on a terminal;
  // nothing at the end of input, and nothing without waiting once a stop
  // request has come: a stopped run's questions are answered no. Like a
  // modal box it keeps serving the other descriptors while it waits.
  std::optional<std::string> ReadLine(const std::function<std::vector<int>()>& alsoWaitOn,
                                      const std::function<void()>& onOtherReady);

 private:
  bool StopRequestPending() const;
  bool StopRequestedEver() const;

  bool stdinIsTerminal_;
  bool raw_ = false;
  const std::sig_atomic_t stopRequestsBefore_;
  std::sig_atomic_t stopRequestsSeen_;
};
