// JAWS through its COM API object. The object is taken while the JAWS window
// exists and dropped as soon as a detection finds the window gone.
#pragma once

#include <string>

#include "accessibility/screen_reader_driver.h"
#include "platform/screen_reader_port.h"

class TScreenReaderDriverJAWS : public TScreenReaderDriver {
 public:
  TScreenReaderDriverJAWS(std::string name, bool speech, bool braille,
                          ScreenReaderPort& port = SystemScreenReaderPort());
  ~TScreenReaderDriverJAWS() override;

  bool Speak(const std::string& s, bool interrupt) override;
  // Runs the JAWS script function BrailleString with the text.
  bool Braille(const std::string& s) override;
  bool Silence() override;
  // The JAWS window exists and the API object could be created.
  bool IsActive() override;

 private:
  void CreateController();
  void ReleaseController();
  bool JawsWindowExists();

  ScreenReaderPort& port_;
  JawsApi* Controller = nullptr;
  // This driver holds at most one COM initialisation of the thread.
  bool comInitialised_ = false;
};
