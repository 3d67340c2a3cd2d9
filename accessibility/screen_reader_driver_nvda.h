// NVDA through its controller client library, loaded once at construction
// and held until destruction; without it the driver stays inert.
#pragma once

#include <string>

#include "accessibility/screen_reader_driver.h"
#include "platform/screen_reader_port.h"

class TScreenReaderDriverNVDA : public TScreenReaderDriver {
 public:
  TScreenReaderDriverNVDA(std::string name, bool speech, bool braille,
                          ScreenReaderPort& port = SystemScreenReaderPort());
  ~TScreenReaderDriverNVDA() override;

  // Interrupting cancels speech first; a failed cancel speaks nothing.
  bool Speak(const std::string& s, bool interrupt) override;
  bool Braille(const std::string& s) override;
  bool Silence() override;
  // The library reports running and NVDA's window exists.
  bool IsActive() override;

 private:
  ScreenReaderPort& port_;
  NvdaClient* Controller = nullptr;
  NvdaEntry* nvdaController_speakText = nullptr;
  NvdaEntry* nvdaController_brailleMessage = nullptr;
  NvdaEntry* nvdaController_cancelSpeech = nullptr;
  NvdaEntry* nvdaController_testIfRunning = nullptr;
};
