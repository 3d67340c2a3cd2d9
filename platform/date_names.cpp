#include "platform/date_names.h"

#include "base/strings.h"

DateNames& FormatDateNames() {
  static DateNames names = LoadLocaleDateNames();
  return names;
}

void TrimShortDayNames() {
  for (std::string& name : FormatDateNames().shortDayNames) {
    if (!name.empty() && name.back() == '.') name.pop_back();
  }
}

void FixMonthNames() {
  DateNames& names = FormatDateNames();
  for (std::string& name : names.shortMonthNames) {
    const std::string upper = UpperCaseLocale(name);
    if (upper == "JAN") {
      name = "Jän";
    } else if (upper == "MRZ") {
      name = "Mär";
    }
  }
  for (std::string& name : names.longMonthNames) {
    if (UpperCaseLocale(name) == "JANUAR") {
      name = "Jänner";
      break;
    }
  }
}
