#include "accessibility/tolk_srd.h"

#include "accessibility/screen_reader_driver_jaws.h"
#include "accessibility/screen_reader_driver_nvda.h"

// ---- Creation and destruction ----

TTolkSRD::TTolkSRD(ScreenReaderPort& port)
    : TTolkSRD(
          [&port] {
            return Drivers{std::make_unique<TScreenReaderDriverJAWS>("JAWS", true, true, port),
                           std::make_unique<TScreenReaderDriverNVDA>("NVDA", true, true, port)};
          },
          port) {}

TTolkSRD::TTolkSRD(DriverFactory factory, ScreenReaderPort& port)
    : factory_(std::move(factory)), port_(port) {}

TTolkSRD::~TTolkSRD() { Unload(); }

// ---- Loading ----

// Load asks for COM on every call. An S_FALSE answer is undone at once, and
// so is a fresh initialisation while one is already held; Unload undoes only
// the one held. The thread's count is thus balanced whatever mode COM was
// already in.
void TTolkSRD::Load() {
  switch (port_.ComInitialize(ComApartment::kMultithreaded)) {
    case ComInitResult::kAlreadyInitialised:
      port_.ComUninitialize();
      break;
    case ComInitResult::kInitialised:
      if (comInitialised_) {
        port_.ComUninitialize();
      } else {
        comInitialised_ = true;
      }
      break;
    case ComInitResult::kNotInitialised:
      break;
  }
  if (FIsLoaded) return;
  List = factory_();
  CurrentSRD = nullptr;
  FIsLoaded = true;
}

void TTolkSRD::Unload() {
  if (!FIsLoaded) return;
  for (auto& slot : List) {
    // The slot is empty before the driver goes.
    std::unique_ptr<TScreenReaderDriver> driver = std::move(slot);
    driver.reset();
  }
  CurrentSRD = nullptr;
  FIsLoaded = false;
  if (comInitialised_) {
    comInitialised_ = false;
    port_.ComUninitialize();
  }
}

// ---- Detection ----

// Nothing is cached: a screen reader started or closed during the run is
// noticed at the next call.
std::string TTolkSRD::DetectScreenReader() {
  if (!FIsLoaded) return {};
  try {
    CurrentSRD = nullptr;
    for (const auto& driver : List) {
      if (driver && driver->IsActive()) {
        CurrentSRD = driver.get();
        break;
      }
    }
    // Asked a second time: the JAWS driver's first answer may have changed
    // what it holds.
    if (CurrentSRD != nullptr && CurrentSRD->IsActive()) return CurrentSRD->Name();
  } catch (...) {
    // A screen reader that fails while being asked counts as absent.
  }
  CurrentSRD = nullptr;
  return {};
}

// ---- Operations ----

bool TTolkSRD::HasSpeech() {
  DetectScreenReader();
  return CurrentSRD != nullptr && CurrentSRD->HasSpeech();
}

bool TTolkSRD::HasBraille() {
  DetectScreenReader();
  return CurrentSRD != nullptr && CurrentSRD->HasBraille();
}

bool TTolkSRD::Output(const std::string& s, bool interrupt) {
  if (s.empty()) return false;
  DetectScreenReader();
  return CurrentSRD != nullptr && CurrentSRD->Output(s, interrupt);
}

bool TTolkSRD::Speak(const std::string& s, bool interrupt) {
  if (s.empty()) return false;
  DetectScreenReader();
  return CurrentSRD != nullptr && CurrentSRD->Speak(s, interrupt);
}

bool TTolkSRD::Braille(const std::string& s) {
  if (s.empty()) return false;
  DetectScreenReader();
  return CurrentSRD != nullptr && CurrentSRD->Braille(s);
}

bool TTolkSRD::Stop() { return Silence(); }

bool TTolkSRD::IsSpeaking() {
  DetectScreenReader();
  return CurrentSRD != nullptr && CurrentSRD->IsSpeaking();
}

bool TTolkSRD::Silence() {
  DetectScreenReader();
  return CurrentSRD != nullptr && CurrentSRD->Silence();
}
