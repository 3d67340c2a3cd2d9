#include "platform/screen_reader_port.h"

// Neither JAWS nor NVDA nor COM exists here: nothing is found, created or
// loaded, so the drivers never reach the calls that would need them.

namespace {

// ---- The inert port ----

class AbsentScreenReaderPort final : public ScreenReaderPort {
 public:
  ComInitResult ComInitialize(ComApartment) override { return ComInitResult::kNotInitialised; }
  void ComUninitialize() override {}

  bool JawsWindowExists() override { return false; }
  JawsApi* CreateJawsApi() override { return nullptr; }
  void ReleaseJawsApi(JawsApi*) override {}
  JawsReply JawsSayString(JawsApi*, const std::string&, bool) override { return {}; }
  std::int32_t JawsStopSpeech(JawsApi*) override { return JawsReply{}.result; }
  JawsReply JawsRunFunction(JawsApi*, const std::string&) override { return {}; }

  NvdaClient* LoadNvdaClient() override { return nullptr; }
  void FreeNvdaClient(NvdaClient*) override {}
  NvdaEntry* FindNvdaEntry(NvdaClient*, const char*) override { return nullptr; }
  std::int32_t CallNvdaTextEntry(NvdaEntry*, const std::string&) override { return kNotCalled; }
  std::int32_t CallNvdaEntry(NvdaEntry*) override { return kNotCalled; }
  bool NvdaWindowExists() override { return false; }

 private:
  static constexpr std::int32_t kNotCalled = -1;
};

}  // namespace

// ---- Port entry ----

ScreenReaderPort& SystemScreenReaderPort() {
  static AbsentScreenReaderPort port;
  return port;
}
