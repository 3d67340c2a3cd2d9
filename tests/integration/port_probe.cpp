// Drives the platform port from the command line for the process-level
// tests: each command runs in turn and reports on its own stdout line.
//
//   create-mutex NAME          "mutex created|existed|invalid", held until exit
//   mutex-exists NAME          "mutex held|free"
//   run FILE PARAMETERS        "started|not started"
//   save-list FILE LINES       the lines of file LINES saved as list file FILE:
//                              "saved|not saved"
//   wait-line                  reads one line of stdin, a hold point
//   exe-path                   GetExecutablePath
//   window TITLE               an own window; "window H", "received M" per message
//   relay-window TITLE TEXT    like window, but passes each message on to the
//                              window found by TEXT before returning
//   holding-window TITLE       like window, but each handler waits for a line
//                              of stdin before it returns
//   serve                      handles messages until one WM_CLOSEREQUEST came
//   find TEXT                  "window H" (0 when none)
//   raise H                    "raised|not raised"
//   send H MESSAGE             "sent" once SendWindowMessage returned
//   append FILE LINE           appends LINE to FILE
//   ask TEXT                   the terminal question; "answer yes|no"
//   front-end CAPTION          a scripted run of the front end (see below)
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <list>
#include <string>
#include <thread>
#include <vector>

#include "frontend/front_end.h"
#include "platform/list_file.h"
#include "platform/process.h"
#include "platform/window_messages.h"

namespace {

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

WindowHandle HandleOf(const std::string& text) { return std::stoull(text); }

// ---- Front-end scenario ----

// Two phases on timers 1 and 2 as the updater has them; phase one handles
// messages inside itself after its timer is due again, which must not run
// the phase a second time. WM_CLOSEREQUEST and a cancel close the window.
class ScriptedRun : public FrontEndEvents {
 public:
  void Run(const std::string& caption) {
    frontEnd_ = CreateFrontEnd(*this);
    frontEnd_->SetCaption(caption);
    frontEnd_->SetStatusText("Start");
    frontEnd_->SetTimerEnabled(1, true);
    frontEnd_->RunMessageLoop(false);
    Say("loop ended");
  }

  void OnTimer(int timer) override {
    if (inTimer_) Say("timer re-entered");
    inTimer_ = true;
    Say("timer " + std::to_string(timer));
    if (timer == 1) {
      frontEnd_->SetStatusText("Phase eins");
      frontEnd_->SetProgress(40);
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      frontEnd_->ProcessMessages();
      frontEnd_->SetTimerEnabled(1, false);
      frontEnd_->SetTimerEnabled(2, true);
    } else {
      frontEnd_->SetTimerEnabled(2, false);
      frontEnd_->SetStatusText("Bereit");
      frontEnd_->SetProgress(100);
      Say("ready");
    }
    inTimer_ = false;
  }
  void OnCancelCommand() override {
    Say("cancel");
    frontEnd_->Close();
  }
  void OnMinimizeCommand() override { Say("minimize"); }
  void OnTrayRestore() override { Say("restore"); }
  void OnWindowMessage(unsigned message) override {
    Say("message " + std::to_string(message));
    if (message == WM_CLOSEREQUEST) frontEnd_->Close();
  }
  void OnActivation(bool) override {}
  void OnResized() override {}
  void OnClose() override { Say("close"); }
  void OnUnexpectedError() override { Say("unexpected error"); }

 private:
  std::unique_ptr<FrontEnd> frontEnd_;
  bool inTimer_ = false;
};

class SilentEvents : public FrontEndEvents {
 public:
  void OnTimer(int) override {}
  void OnCancelCommand() override {}
  void OnMinimizeCommand() override {}
  void OnTrayRestore() override {}
  void OnWindowMessage(unsigned) override {}
  void OnActivation(bool) override {}
  void OnResized() override {}
  void OnClose() override {}
  void OnUnexpectedError() override {}
};

// ---- Commands ----

class Probe {
 public:
  // False on an unknown command or a missing argument.
  bool Run(const std::vector<std::string>& args) {
    std::size_t i = 1;
    auto next = [&](std::string& value) {
      if (i >= args.size()) return false;
      value = args[i++];
      return true;
    };
    while (i < args.size()) {
      const std::string command = args[i++];
      std::string a, b, c;
      if (command == "create-mutex" && next(a)) {
        mutexes_.push_back(NamedMutex::Create(a));
        const NamedMutex& mutex = mutexes_.back();
        Say(!mutex.Valid()           ? "mutex invalid"
            : mutex.AlreadyExisted() ? "mutex existed"
                                     : "mutex created");
      } else if (command == "mutex-exists" && next(a)) {
        Say(MutexExists(a) ? "mutex held" : "mutex free");
      } else if (command == "run" && next(a) && next(b)) {
        Say(StartProgram(a, b) ? "started" : "not started");
      } else if (command == "wait-line") {
        std::string line;
        std::getline(std::cin, line);
      } else if (command == "save-list" && next(a) && next(b)) {
        // The lines of file b saved as the list file a, in a's encoding.
        const std::optional<ListFile> lines = ReadListFile(b);
        Say(lines && SaveListFile(a, *lines) ? "saved" : "not saved");
      } else if (command == "exe-path") {
        Say(GetExecutablePath());
      } else if (command == "window" && next(a)) {
        OpenWindow(a, "", false);
      } else if (command == "relay-window" && next(a) && next(b)) {
        OpenWindow(a, b, false);
      } else if (command == "holding-window" && next(a)) {
        OpenWindow(a, "", true);
      } else if (command == "serve") {
        while (!closeRequested_) {
          for (MessageWindow& window : windows_) window.ProcessMessages(100);
        }
      } else if (command == "find" && next(a)) {
        Say("window " + std::to_string(FindWindowByTitleEnd(a)));
      } else if (command == "raise" && next(a)) {
        Say(ForceWindowToFront(HandleOf(a)) ? "raised" : "not raised");
      } else if (command == "send" && next(a) && next(b)) {
        SendWindowMessage(HandleOf(a), static_cast<unsigned>(std::stoul(b)));
        Say("sent");
      } else if (command == "append" && next(a) && next(b)) {
        std::ofstream(a, std::ios::app) << b << '\n';
      } else if (command == "ask" && next(a)) {
        SilentEvents events;
        const bool yes = CreateFrontEnd(events)->AskQuestion(a);
        Say(yes ? "answer yes" : "answer no");
      } else if (command == "front-end" && next(a)) {
        ScriptedRun().Run(a);
      } else {
        return false;
      }
    }
    return true;
  }

 private:
  void OpenWindow(const std::string& title, const std::string& relayTo, bool hold) {
    windows_.emplace_back(title, [this, relayTo, hold](unsigned message) {
      Say("received " + std::to_string(message));
      if (message == WM_CLOSEREQUEST) closeRequested_ = true;
      if (!relayTo.empty()) SendWindowMessage(FindWindowByTitleEnd(relayTo), message);
      if (hold) {
        std::string line;
        std::getline(std::cin, line);
      }
    });
    Say("window " + std::to_string(windows_.back().Handle()));
  }

  std::list<NamedMutex> mutexes_;
  std::list<MessageWindow> windows_;  // a list: windows cannot move
  bool closeRequested_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (!Probe().Run(GetCommandLineArguments(argc, argv))) {
    std::fprintf(stderr, "port_probe: unknown command or missing argument\n");
    return 2;
  }
  return 0;
}
