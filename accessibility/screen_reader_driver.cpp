#include "accessibility/screen_reader_driver.h"

// ---- Operations common to every driver ----

bool TScreenReaderDriver::IsSpeaking() { return false; }

bool TScreenReaderDriver::Output(const std::string& s, bool interrupt) {
  const bool spoken = Speak(s, interrupt);
  const bool brailled = Braille(s);
  return spoken || brailled;
}
