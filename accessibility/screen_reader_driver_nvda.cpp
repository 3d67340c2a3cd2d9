#include "accessibility/screen_reader_driver_nvda.h"

// ---- Creation and destruction ----

TScreenReaderDriverNVDA::TScreenReaderDriverNVDA(std::string name, bool speech, bool braille,
                                                 ScreenReaderPort& port)
    : TScreenReaderDriver(std::move(name), speech, braille), port_(port) {
  Controller = port_.LoadNvdaClient();
  if (Controller == nullptr) return;
  nvdaController_speakText = port_.FindNvdaEntry(Controller, "nvdaController_speakText");
  nvdaController_brailleMessage = port_.FindNvdaEntry(Controller, "nvdaController_brailleMessage");
  nvdaController_cancelSpeech = port_.FindNvdaEntry(Controller, "nvdaController_cancelSpeech");
  nvdaController_testIfRunning = port_.FindNvdaEntry(Controller, "nvdaController_testIfRunning");
}

TScreenReaderDriverNVDA::~TScreenReaderDriverNVDA() {
  if (Controller != nullptr) port_.FreeNvdaClient(Controller);
}

// ---- Driver operations ----

bool TScreenReaderDriverNVDA::IsActive() {
  return nvdaController_testIfRunning != nullptr && port_.NvdaWindowExists() &&
         port_.CallNvdaEntry(nvdaController_testIfRunning) == 0;
}

bool TScreenReaderDriverNVDA::Speak(const std::string& s, bool interrupt) {
  if (interrupt && !Silence()) return false;
  if (s.empty() || nvdaController_speakText == nullptr) return false;
  return port_.CallNvdaTextEntry(nvdaController_speakText, s) == 0;
}

bool TScreenReaderDriverNVDA::Braille(const std::string& s) {
  if (s.empty() || nvdaController_brailleMessage == nullptr) return false;
  return port_.CallNvdaTextEntry(nvdaController_brailleMessage, s) == 0;
}

bool TScreenReaderDriverNVDA::Silence() {
  return nvdaController_cancelSpeech != nullptr &&
         port_.CallNvdaEntry(nvdaController_cancelSpeech) == 0;
}
