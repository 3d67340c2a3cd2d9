#include "platform/screen_reader_port.h"

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include "base/text_codec.h"

namespace {

// ---- The JAWS API, early bound ----

// {CCE5B1E5-B2ED-45D5-B09F-8EC54B75ABF4}
const CLSID kJawsApiClass = {
    0xCCE5B1E5, 0xB2ED, 0x45D5, {0xB0, 0x9F, 0x8E, 0xC5, 0x4B, 0x75, 0xAB, 0xF4}};
// {123DEDB4-2CF6-429C-A2AB-CC809E5516CE}
const IID kJawsApiInterface = {
    0x123DEDB4, 0x2CF6, 0x429C, {0xA2, 0xAB, 0xCC, 0x80, 0x9E, 0x55, 0x16, 0xCE}};

// Six methods after IDispatch's. Only the slot of the three never called
// matters, so they carry no parameters.
struct IJawsApi : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Unused1() = 0;
  virtual HRESULT STDMETHODCALLTYPE SayString(BSTR text, VARIANT_BOOL flush,
                                              VARIANT_BOOL* success) = 0;
  virtual HRESULT STDMETHODCALLTYPE StopSpeech() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused4() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused5() = 0;
  virtual HRESULT STDMETHODCALLTYPE RunFunction(BSTR functionCall, VARIANT_BOOL* success) = 0;
};

IJawsApi* AsJawsApi(JawsApi* api) { return reinterpret_cast<IJawsApi*>(api); }

// A BSTR copy of a UTF-8 text for the length of one call.
class WideBstr {
 public:
  explicit WideBstr(const std::string& text) {
    const std::u16string wide = Utf8ToUtf16(text);
    value_ = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()),
                               static_cast<UINT>(wide.size()));
  }
  ~WideBstr() { SysFreeString(value_); }
  WideBstr(const WideBstr&) = delete;
  WideBstr& operator=(const WideBstr&) = delete;
  BSTR get() const { return value_; }

 private:
  BSTR value_;
};

// ---- The NVDA controller client ----

using NvdaTextFunction = int(WINAPI*)(const wchar_t* text);
using NvdaPlainFunction = int(WINAPI*)();

// ---- The Win32 port ----

class Win32ScreenReaderPort final : public ScreenReaderPort {
 public:
  ComInitResult ComInitialize(ComApartment apartment) override {
    const HRESULT result = CoInitializeEx(nullptr, apartment == ComApartment::kMultithreaded
                                                       ? COINIT_MULTITHREADED
                                                       : COINIT_APARTMENTTHREADED);
    if (result == S_OK) return ComInitResult::kInitialised;
    if (result == S_FALSE) return ComInitResult::kAlreadyInitialised;
    return ComInitResult::kNotInitialised;
  }

  void ComUninitialize() override { CoUninitialize(); }

  bool JawsWindowExists() override { return FindWindowW(L"JFWUI2", nullptr) != nullptr; }

  JawsApi* CreateJawsApi() override {
    void* api = nullptr;
    if (FAILED(CoCreateInstance(kJawsApiClass, nullptr, CLSCTX_INPROC_SERVER, kJawsApiInterface,
                                &api))) {
      return nullptr;
    }
    return static_cast<JawsApi*>(api);
  }

  void ReleaseJawsApi(JawsApi* api) override { AsJawsApi(api)->Release(); }

  JawsReply JawsSayString(JawsApi* api, const std::string& text, bool flush) override {
    const WideBstr wide(text);
    VARIANT_BOOL success = VARIANT_FALSE;
    const HRESULT result =
        AsJawsApi(api)->SayString(wide.get(), flush ? VARIANT_TRUE : VARIANT_FALSE, &success);
    return {result, success};
  }

  std::int32_t JawsStopSpeech(JawsApi* api) override { return AsJawsApi(api)->StopSpeech(); }

  JawsReply JawsRunFunction(JawsApi* api, const std::string& functionCall) override {
    const WideBstr wide(functionCall);
    VARIANT_BOOL success = VARIANT_FALSE;
    const HRESULT result = AsJawsApi(api)->RunFunction(wide.get(), &success);
    return {result, success};
  }

  NvdaClient* LoadNvdaClient() override {
    return reinterpret_cast<NvdaClient*>(LoadLibraryW(L"nvdaControllerClient32.dll"));
  }

  void FreeNvdaClient(NvdaClient* client) override {
    FreeLibrary(reinterpret_cast<HMODULE>(client));
  }

  NvdaEntry* FindNvdaEntry(NvdaClient* client, const char* exportName) override {
    return reinterpret_cast<NvdaEntry*>(
        GetProcAddress(reinterpret_cast<HMODULE>(client), exportName));
  }

  std::int32_t CallNvdaTextEntry(NvdaEntry* entry, const std::string& text) override {
    const std::u16string wide = Utf8ToUtf16(text);
    return reinterpret_cast<NvdaTextFunction>(entry)(
        reinterpret_cast<const wchar_t*>(wide.c_str()));
  }

  std::int32_t CallNvdaEntry(NvdaEntry* entry) override {
    return reinterpret_cast<NvdaPlainFunction>(entry)();
  }

  bool NvdaWindowExists() override { return FindWindowW(L"wxWindowClassNR", L"NVDA") != nullptr; }
};

}  // namespace

// ---- Port entry ----

ScreenReaderPort& SystemScreenReaderPort() {
  static Win32ScreenReaderPort port;
  return port;
}
