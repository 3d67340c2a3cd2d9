// The screen-reader dispatcher: asks JAWS, then NVDA, whether it runs, at
// every call, and hands the text to the first that does.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "accessibility/screen_reader_driver.h"
#include "platform/screen_reader_port.h"

class TTolkSRD {
 public:
  // Slot 0 is asked first.
  using Drivers = std::array<std::unique_ptr<TScreenReaderDriver>, 2>;
  using DriverFactory = std::function<Drivers()>;

  // The JAWS driver (slot 0) and the NVDA driver, both on this port.
  explicit TTolkSRD(ScreenReaderPort& port = SystemScreenReaderPort());
  // Drivers from the factory; the port still brackets COM use.
  TTolkSRD(DriverFactory factory, ScreenReaderPort& port = SystemScreenReaderPort());
  ~TTolkSRD();
  TTolkSRD(const TTolkSRD&) = delete;
  TTolkSRD& operator=(const TTolkSRD&) = delete;

  // Creates the drivers once; later calls create nothing.
  void Load();
  void Unload();
  // "JAWS", "NVDA" or empty: the screen reader that receives output now.
  std::string DetectScreenReader();
  bool HasSpeech();
  bool HasBraille();
  // Each false for an empty text, before any screen reader is asked.
  bool Output(const std::string& s, bool interrupt);
  bool Speak(const std::string& s, bool interrupt);
  bool Braille(const std::string& s);
  bool Stop();
  bool IsSpeaking();
  bool Silence();
  bool IsLoaded() const { return FIsLoaded; }

 private:
  DriverFactory factory_;
  ScreenReaderPort& port_;
  bool FIsLoaded = false;
  // Load holds at most one COM initialisation of the thread.
  bool comInitialised_ = false;
  Drivers List;
  // Borrowed from List; rewritten by every detection.
  TScreenReaderDriver* CurrentSRD = nullptr;
};
