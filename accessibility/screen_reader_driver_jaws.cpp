#include "accessibility/screen_reader_driver_jaws.h"

#include <algorithm>

#include "base/strings.h"

namespace {

constexpr const char* kBrailleCallTemplate = "BrailleString(\"%s\")";

// A failed HRESULT has its sign bit set; the out flag must be VARIANT_TRUE.
bool Confirmed(const JawsReply& reply) { return reply.result >= 0 && reply.success == -1; }

}  // namespace

// ---- Creation and destruction ----

TScreenReaderDriverJAWS::TScreenReaderDriverJAWS(std::string name, bool speech, bool braille,
                                                 ScreenReaderPort& port)
    : TScreenReaderDriver(std::move(name), speech, braille), port_(port) {
  CreateController();
}

TScreenReaderDriverJAWS::~TScreenReaderDriverJAWS() { ReleaseController(); }

// ---- The API object ----

// CreateController asks for COM each time it runs and ReleaseController runs
// at every detection without the JAWS window. To keep the thread's count
// balanced, a successful initialisation is kept only while none is held (any
// further one is undone at once), and ReleaseController undoes only the one
// kept.
void TScreenReaderDriverJAWS::CreateController() {
  const ComInitResult init = port_.ComInitialize(ComApartment::kApartmentThreaded);
  if (init != ComInitResult::kNotInitialised) {
    if (comInitialised_) {
      port_.ComUninitialize();
    } else {
      comInitialised_ = true;
    }
  }
  if (Controller == nullptr) Controller = port_.CreateJawsApi();
}

void TScreenReaderDriverJAWS::ReleaseController() {
  if (Controller != nullptr) {
    port_.ReleaseJawsApi(Controller);
    Controller = nullptr;
  }
  if (comInitialised_) {
    comInitialised_ = false;
    port_.ComUninitialize();
  }
}

bool TScreenReaderDriverJAWS::JawsWindowExists() { return port_.JawsWindowExists(); }

// ---- Driver operations ----

bool TScreenReaderDriverJAWS::IsActive() {
  if (!JawsWindowExists()) {
    ReleaseController();
    return false;
  }
  if (Controller == nullptr) CreateController();
  return Controller != nullptr;
}

bool TScreenReaderDriverJAWS::Speak(const std::string& s, bool interrupt) {
  if (s.empty() || Controller == nullptr) return false;
  return Confirmed(port_.JawsSayString(Controller, s, interrupt));
}

bool TScreenReaderDriverJAWS::Braille(const std::string& s) {
  if (s.empty() || Controller == nullptr) return false;
  // A double quote would end the script's string argument early.
  std::string quoted = s;
  std::replace(quoted.begin(), quoted.end(), '"', '\'');
  return Confirmed(port_.JawsRunFunction(Controller, FormatText(kBrailleCallTemplate, {quoted})));
}

bool TScreenReaderDriverJAWS::Silence() {
  if (Controller == nullptr) return false;
  return port_.JawsStopSpeech(Controller) >= 0;
}
