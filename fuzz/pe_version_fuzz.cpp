// The version resource of a downloaded or installed program file: any bytes
// give valid UTF-8 text without NULs, or nothing.
#include <cstdint>

#include "base/pe_version_resource.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = AsText(data, size);
  for (const char* key : {"FileVersion", "ProductVersion", "productname", "Comments"}) {
    const std::string value = ReadVersionString(bytes, key);
    Require(IsValidUtf8(value), "version text is no valid UTF-8");
    Require(value.find('\0') == std::string::npos, "version text holds a NUL");
  }
  return 0;
}
