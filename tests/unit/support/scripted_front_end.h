// A front end for tests: it stands in for the user (questions answered from a
// script) and records what the run shows. Timers fire only when a test asks.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "frontend/front_end.h"

class ScriptedFrontEnd : public FrontEnd {
 public:
  explicit ScriptedFrontEnd(FrontEndEvents& events) : events_(events) {}

  // ---- What the test scripts and reads ----
  std::deque<bool> answers;  // questions beyond the script are answered "&Nein"
  std::vector<std::string> statusTexts;
  std::vector<std::string> informations;
  std::vector<std::string> questions;
  std::vector<std::string> trayHints;
  bool enabledTimers[4] = {false, false, false, false};
  bool closed = false;
  int processMessagesCalls = 0;
  // Runs once inside the next ProcessMessages, as an event arriving mid-phase.
  std::function<void()> onNextProcessMessages;

  // Fires enabled timers in phase order until the window closes.
  void RunTimers(int maxTicks = 10) {
    for (int tick = 0; tick < maxTicks && !closed; ++tick) {
      int timer = 1;
      while (timer <= 3 && !enabledTimers[timer]) ++timer;
      if (timer > 3) return;
      events_.OnTimer(timer);
    }
  }

  // ---- FrontEnd ----
  void SetCaption(const std::string& caption) override { caption_ = caption; }
  std::string Caption() const override { return caption_; }
  WindowHandle Handle() const override { return 0; }
  void ShowMainWindow() override { visible_ = true; }
  void HideMainWindow() override { visible_ = false; }
  bool MainWindowVisible() const override { return visible_; }
  void ForceToFront() override {}
  void SetStatusText(const std::string& text) override {
    status_ = text;
    statusTexts.push_back(text);
  }
  std::string StatusText() const override { return status_; }
  void ApplyStatusStyle(const StatusStyle& style) override { style_ = style; }
  const StatusStyle& Style() const { return style_; }
  void SetProgress(int position) override { progress_ = position; }
  int Progress() const override { return progress_; }
  void SetTrayIconVisible(bool visible) override { tray_ = visible; }
  bool TrayIconVisible() const override { return tray_; }
  void SetTrayHint(const std::string& hint) override { trayHints.push_back(hint); }
  void ShowInformation(const std::string& text) override { informations.push_back(text); }
  bool AskQuestion(const std::string& text) override {
    questions.push_back(text);
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void SetTimerEnabled(int timer, bool enabled) override { enabledTimers[timer] = enabled; }
  void ProcessMessages() override {
    ++processMessagesCalls;
    if (auto event = std::move(onNextProcessMessages)) {
      onNextProcessMessages = nullptr;
      event();
    }
  }
  void RunMessageLoop(bool startHidden) override {
    visible_ = !startHidden;
    RunTimers();
  }
  void Close() override {
    if (closed) return;
    closed = true;
    events_.OnClose();
  }

 private:
  FrontEndEvents& events_;
  std::string caption_;
  std::string status_;
  StatusStyle style_;
  int progress_ = 0;
  bool visible_ = false;
  bool tray_ = false;
};
