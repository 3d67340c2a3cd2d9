// Letter case and the ANSI code page outside Windows: Unicode simple case
// mapping through the C library, Windows-1252 for files without a BOM.
#include <wctype.h>

#include <clocale>
#include <string>

#include "base/strings.h"
#include "base/text_codec.h"
#include "platform/locale.h"

namespace {

// towupper needs a UTF-8 character type; set it once for the process.
void EnsureUnicodeCtype() {
  static const bool done = [] {
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) std::setlocale(LC_CTYPE, "");
    return true;
  }();
  (void)done;
}

template <typename Map>
std::string MapCase(std::string_view text, Map map) {
  EnsureUnicodeCtype();
  std::u16string wide = Utf8ToUtf16(text);
  for (char16_t& unit : wide) {
    if (unit < 0xD800 || unit > 0xDFFF) unit = static_cast<char16_t>(map(unit));
  }
  return Utf16ToUtf8(wide);
}

}  // namespace

std::string UpperCaseLocale(std::string_view text) {
  return MapCase(text, [](char16_t c) { return towupper(static_cast<wint_t>(c)); });
}

std::string LowerCaseLocale(std::string_view text) {
  return MapCase(text, [](char16_t c) { return towlower(static_cast<wint_t>(c)); });
}

bool SameText(std::string_view a, std::string_view b) {
  if (a == b) return true;
  return UpperCaseLocale(a) == UpperCaseLocale(b);
}

std::string AnsiToUtf8(std::string_view text) { return Windows1252ToUtf8(text); }

std::string Utf8ToAnsi(std::string_view text) { return Utf8ToWindows1252(text); }
