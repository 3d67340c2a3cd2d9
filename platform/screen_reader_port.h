// The operating-system calls behind the two screen-reader drivers: COM
// initialisation of the calling thread, the JAWS window and API object, and
// the NVDA controller client library with NVDA's window. Where neither
// screen reader can exist, the system port finds no window, creates no
// object and loads no library, so both drivers stay inactive.
#pragma once

#include <cstdint>
#include <string>

// Handles the port gives out; a null pointer means "none".
struct JawsApi;     // a counted IJawsApi reference
struct NvdaClient;  // the loaded "nvdaControllerClient32.dll"
struct NvdaEntry;   // one export of it

enum class ComApartment { kMultithreaded, kApartmentThreaded };

// What CoInitializeEx answered. kInitialised (S_OK) and kAlreadyInitialised
// (S_FALSE) both raise the thread's count and want one ComUninitialize;
// kNotInitialised (another mode, or no COM at all) raised nothing.
enum class ComInitResult { kInitialised, kAlreadyInitialised, kNotInitialised };

// A JAWS call's HRESULT and its VARIANT_BOOL out flag (-1 true, 0 false).
struct JawsReply {
  std::int32_t result = -1;
  std::int16_t success = 0;
};

class ScreenReaderPort {
 public:
  virtual ~ScreenReaderPort() = default;

  virtual ComInitResult ComInitialize(ComApartment apartment) = 0;
  virtual void ComUninitialize() = 0;

  // A window of class "JFWUI2" exists.
  virtual bool JawsWindowExists() = 0;
  // CoCreateInstance of the JAWS API class as an in-process server.
  virtual JawsApi* CreateJawsApi() = 0;
  virtual void ReleaseJawsApi(JawsApi* api) = 0;
  // The out flag starts as VARIANT_FALSE before each call.
  virtual JawsReply JawsSayString(JawsApi* api, const std::string& text, bool flush) = 0;
  virtual std::int32_t JawsStopSpeech(JawsApi* api) = 0;
  virtual JawsReply JawsRunFunction(JawsApi* api, const std::string& functionCall) = 0;

  // Loads the client library by its bare file name (the system's search
  // order); null when it cannot be loaded.
  virtual NvdaClient* LoadNvdaClient() = 0;
  virtual void FreeNvdaClient(NvdaClient* client) = 0;
  // The export of that name; null when absent.
  virtual NvdaEntry* FindNvdaEntry(NvdaClient* client, const char* exportName) = 0;
  // Calls an export taking one UTF-16 text; its result, 0 on success.
  virtual std::int32_t CallNvdaTextEntry(NvdaEntry* entry, const std::string& text) = 0;
  // Calls an export taking no argument; its result, 0 on success.
  virtual std::int32_t CallNvdaEntry(NvdaEntry* entry) = 0;
  // A window of class "wxWindowClassNR" titled "NVDA" exists.
  virtual bool NvdaWindowExists() = 0;
};

// The real calls of this platform; lives for the whole process.
ScreenReaderPort& SystemScreenReaderPort();
