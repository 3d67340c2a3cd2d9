// Letter case and the ANSI code page outside Windows: Unicode simple case
// mapping through the C library, Windows-1252 for files without a BOM.
#include <langinfo.h>
#include <wctype.h>

#include <clocale>
#include <string>

#include "base/strings.h"
#include "base/text_codec.h"
#include "platform/date_names.h"

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

// ---- Date names ----

DateNames LoadLocaleDateNames() {
  static constexpr nl_item kShortDays[] = {ABDAY_1, ABDAY_2, ABDAY_3, ABDAY_4,
                                           ABDAY_5, ABDAY_6, ABDAY_7};
  static constexpr nl_item kShortMonths[] = {ABMON_1, ABMON_2,  ABMON_3,  ABMON_4,
                                             ABMON_5, ABMON_6,  ABMON_7,  ABMON_8,
                                             ABMON_9, ABMON_10, ABMON_11, ABMON_12};
  static constexpr nl_item kLongMonths[] = {MON_1, MON_2, MON_3, MON_4,  MON_5,  MON_6,
                                            MON_7, MON_8, MON_9, MON_10, MON_11, MON_12};
  std::setlocale(LC_TIME, "");
  DateNames names;
  for (int i = 0; i < 7; ++i) names.shortDayNames[i] = nl_langinfo(kShortDays[i]);
  for (int i = 0; i < 12; ++i) {
    names.shortMonthNames[i] = nl_langinfo(kShortMonths[i]);
    names.longMonthNames[i] = nl_langinfo(kLongMonths[i]);
  }
  return names;
}
