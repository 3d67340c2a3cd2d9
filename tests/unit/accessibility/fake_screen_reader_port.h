// Stands in for JAWS, NVDA and the thread's COM state, none of which exist
// here. Tests switch the screen readers' windows and answers and read back
// what reached them.
#pragma once

#include <array>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/screen_reader_port.h"

class FakeScreenReaderPort : public ScreenReaderPort {
 public:
  static constexpr std::array<const char*, 4> kNvdaExports = {
      "nvdaController_speakText", "nvdaController_brailleMessage", "nvdaController_cancelSpeech",
      "nvdaController_testIfRunning"};

  // ---- COM of the one thread, as Windows counts it ----
  int comCount = 0;
  std::optional<ComApartment> comMode;
  bool comUninitialisedTooOften = false;

  // ---- JAWS ----
  bool jawsWindow = false;
  bool jawsCreatable = true;
  int jawsObjectsCreated = 0;
  int jawsObjectsAlive = 0;
  JawsReply sayReply{0, -1};
  JawsReply runReply{0, -1};
  std::int32_t stopResult = 0;
  struct Said {
    std::string text;
    bool flush;
  };
  std::vector<Said> jawsSaid;
  std::vector<std::string> jawsFunctions;
  int jawsStops = 0;

  // ---- NVDA ----
  bool nvdaLoadable = true;
  std::set<std::string> nvdaPresentExports{kNvdaExports.begin(), kNvdaExports.end()};
  bool nvdaWindow = false;
  std::int32_t testIfRunningResult = 0;
  std::int32_t speakResult = 0;
  std::int32_t brailleResult = 0;
  std::int32_t cancelResult = 0;
  int nvdaLoads = 0;
  bool nvdaLoaded = false;
  std::vector<std::string> nvdaSpoken;
  std::vector<std::string> nvdaBrailled;
  int nvdaCancels = 0;

  // Puts the thread into COM before anything else runs.
  void PreInitialiseCom(ComApartment mode) {
    comMode = mode;
    comCount = 1;
  }

  // ---- ScreenReaderPort ----
  ComInitResult ComInitialize(ComApartment apartment) override {
    if (comCount == 0) {
      comMode = apartment;
      comCount = 1;
      return ComInitResult::kInitialised;
    }
    if (comMode != apartment) return ComInitResult::kNotInitialised;
    ++comCount;
    return ComInitResult::kAlreadyInitialised;
  }
  void ComUninitialize() override {
    if (comCount == 0) {
      comUninitialisedTooOften = true;
      return;
    }
    if (--comCount == 0) comMode.reset();
  }

  bool JawsWindowExists() override { return jawsWindow; }
  JawsApi* CreateJawsApi() override {
    if (!jawsCreatable) return nullptr;
    ++jawsObjectsCreated;
    ++jawsObjectsAlive;
    return reinterpret_cast<JawsApi*>(&jawsTag_);
  }
  void ReleaseJawsApi(JawsApi*) override { --jawsObjectsAlive; }
  JawsReply JawsSayString(JawsApi*, const std::string& text, bool flush) override {
    jawsSaid.push_back({text, flush});
    return sayReply;
  }
  std::int32_t JawsStopSpeech(JawsApi*) override {
    ++jawsStops;
    return stopResult;
  }
  JawsReply JawsRunFunction(JawsApi*, const std::string& functionCall) override {
    jawsFunctions.push_back(functionCall);
    return runReply;
  }

  NvdaClient* LoadNvdaClient() override {
    if (!nvdaLoadable) return nullptr;
    ++nvdaLoads;
    nvdaLoaded = true;
    return reinterpret_cast<NvdaClient*>(&clientTag_);
  }
  void FreeNvdaClient(NvdaClient*) override { nvdaLoaded = false; }
  NvdaEntry* FindNvdaEntry(NvdaClient*, const char* exportName) override {
    if (nvdaPresentExports.count(exportName) == 0) return nullptr;
    for (std::size_t i = 0; i < kNvdaExports.size(); ++i) {
      if (std::string(kNvdaExports[i]) == exportName) {
        return reinterpret_cast<NvdaEntry*>(&entryTags_[i]);
      }
    }
    return nullptr;
  }
  std::int32_t CallNvdaTextEntry(NvdaEntry* entry, const std::string& text) override {
    const std::string name = ExportOf(entry);
    if (name == "nvdaController_speakText") {
      nvdaSpoken.push_back(text);
      return speakResult;
    }
    nvdaBrailled.push_back(text);
    return brailleResult;
  }
  std::int32_t CallNvdaEntry(NvdaEntry* entry) override {
    if (ExportOf(entry) == "nvdaController_cancelSpeech") {
      ++nvdaCancels;
      return cancelResult;
    }
    return testIfRunningResult;
  }
  bool NvdaWindowExists() override { return nvdaWindow; }

 private:
  std::string ExportOf(NvdaEntry* entry) const {
    for (std::size_t i = 0; i < kNvdaExports.size(); ++i) {
      if (reinterpret_cast<const char*>(entry) == &entryTags_[i]) return kNvdaExports[i];
    }
    return {};
  }

  char jawsTag_ = 0;
  char clientTag_ = 0;
  std::array<char, 4> entryTags_{};
};
