// The process-wide date names used for formatting, filled from the user's
// locale and adjusted once at start.
#pragma once

#include <array>
#include <string>

struct DateNames {
  std::array<std::string, 7> shortDayNames;  // Sunday first
  std::array<std::string, 12> shortMonthNames;
  std::array<std::string, 12> longMonthNames;
};

DateNames& FormatDateNames();
// Short day names lose one trailing ".".
void TrimShortDayNames();
// "Jän", "Mär" and "Jänner" for the names whose upper case is JAN, MRZ and
// JANUAR.
void FixMonthNames();

// The user's locale's names (platform port).
DateNames LoadLocaleDateNames();
