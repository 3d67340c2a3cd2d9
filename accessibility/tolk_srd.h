// The screen-reader dispatcher: asks JAWS, then NVDA, whether it runs, at
// every call, and hands the text to the first that does.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "accessibility/screen_reader_driver.h"

class TTolkSRD {
 public:
  using Drivers = std::array<std::unique_ptr<TScreenReaderDriver>, 2>;
  using DriverFactory = std::function<Drivers()>;

  // The default factory makes the JAWS driver (slot 0) and the NVDA driver.
  TTolkSRD();
  explicit TTolkSRD(DriverFactory factory);
  ~TTolkSRD();
  TTolkSRD(const TTolkSRD&) = delete;
  TTolkSRD& operator=(const TTolkSRD&) = delete;

  void Load();
  void Unload();
  std::string DetectScreenReader();
  bool HasSpeech();
  bool HasBraille();
  bool Output(const std::string& s, bool interrupt);
  bool Speak(const std::string& s, bool interrupt);
  bool Stop();
  bool Braille(const std::string& s);
  bool IsSpeaking();
  bool Silence();
  bool IsLoaded() const { return FIsLoaded; }

 private:
  DriverFactory factory_;
  bool FIsLoaded = false;
  Drivers List;
  TScreenReaderDriver* CurrentSRD = nullptr;
};
