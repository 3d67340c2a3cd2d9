// A stand-in screen-reader driver for the dispatcher: tests decide whether
// its screen reader runs and read back what it was asked and given.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "accessibility/screen_reader_driver.h"

struct DriverLog {
  bool active = false;
  // Answers after which IsActive turns false (-1: never).
  int activeAnswersLeft = -1;
  bool throwOnIsActive = false;
  int isActiveCalls = 0;
  std::vector<std::string> spoken;
  std::vector<bool> interrupts;
  std::vector<std::string> brailled;
  int silenced = 0;
  bool destroyed = false;
  // Runs as each text is spoken, to look at the moment.
  std::function<void()> onSpeak;
};

class DriverDouble : public TScreenReaderDriver {
 public:
  DriverDouble(std::string name, DriverLog& log)
      : TScreenReaderDriver(std::move(name), true, true), log_(log) {}
  ~DriverDouble() override { log_.destroyed = true; }

  bool Speak(const std::string& s, bool interrupt) override {
    log_.spoken.push_back(s);
    log_.interrupts.push_back(interrupt);
    if (log_.onSpeak) log_.onSpeak();
    return true;
  }
  bool Braille(const std::string& s) override {
    log_.brailled.push_back(s);
    return true;
  }
  bool Silence() override {
    ++log_.silenced;
    return true;
  }
  bool IsActive() override {
    ++log_.isActiveCalls;
    if (log_.throwOnIsActive) throw std::runtime_error("screen reader gone");
    if (log_.activeAnswersLeft == 0) return false;
    if (log_.activeAnswersLeft > 0) --log_.activeAnswersLeft;
    return log_.active;
  }

 private:
  DriverLog& log_;
};
