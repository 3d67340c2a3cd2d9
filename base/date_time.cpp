#include "base/date_time.h"

#include <cmath>
#include <cstdio>

// ---- Calendar arithmetic ----

namespace {

constexpr double kMsPerDay = 86400000.0;

// Days from 1899-12-30 to the given civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(int year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(year - era * 400);
  const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t daysSince1970 = era * 146097 + static_cast<std::int64_t>(doe) - 719468;
  return daysSince1970 + 25569;
}

void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
  const std::int64_t z = days - 25569 + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace

// ---- Encoding and decoding ----

TDateTime EncodeDateTime(const DateTimeParts& p) {
  const double days = static_cast<double>(DaysFromCivil(p.year, p.month, p.day));
  const double ms = ((p.hour * 60.0 + p.minute) * 60.0 + p.second) * 1000.0 + p.millisecond;
  // Before 1899-12-30 the fraction counts forward from the negative day.
  return days >= 0 ? days + ms / kMsPerDay : days - ms / kMsPerDay;
}

DateTimeParts DecodeDateTime(TDateTime value) {
  double day = std::trunc(value);
  double fraction = std::fabs(value - day);
  auto ms = static_cast<std::int64_t>(std::llround(fraction * kMsPerDay));
  if (ms >= 86400000) {  // rounding reached the next day
    ms -= 86400000;
    day += value >= 0 ? 1 : -1;
  }
  DateTimeParts p;
  CivilFromDays(static_cast<std::int64_t>(day), p.year, p.month, p.day);
  p.hour = static_cast<int>(ms / 3600000);
  p.minute = static_cast<int>(ms / 60000 % 60);
  p.second = static_cast<int>(ms / 1000 % 60);
  p.millisecond = static_cast<int>(ms % 1000);
  return p;
}

// ---- Formatting ----

std::string FormatDateToMinute(TDateTime value) {
  const DateTimeParts p = DecodeDateTime(value);
  char text[32];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d", p.day, p.month, p.year, p.hour,
                p.minute);
  return text;
}

std::string FormatDateToMillisecond(TDateTime value) {
  const DateTimeParts p = DecodeDateTime(value);
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d%03d", p.year, p.month, p.day, p.hour,
                p.minute, p.second, p.millisecond);
  return text;
}

std::string FormatDateCompact(TDateTime value) {
  const DateTimeParts p = DecodeDateTime(value);
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", p.year, p.month, p.day);
  return text;
}

// ---- DOS date-time ----

bool TruncateToDosTime(TDateTime value, TDateTime& truncated) {
  DateTimeParts p = DecodeDateTime(value);
  if (p.year < 1980 || p.year > 2107) return false;
  p.second -= p.second % 2;
  p.millisecond = 0;
  truncated = EncodeDateTime(p);
  return true;
}

bool DosDateTimeToDateTime(std::uint16_t dosDate, std::uint16_t dosTime, TDateTime& value) {
  DateTimeParts p;
  p.year = 1980 + (dosDate >> 9);
  p.month = (dosDate >> 5) & 15;
  p.day = dosDate & 31;
  p.hour = dosTime >> 11;
  p.minute = (dosTime >> 5) & 63;
  p.second = (dosTime & 31) * 2;
  if (p.month < 1 || p.month > 12 || p.day < 1 || p.hour > 23 || p.minute > 59 || p.second > 59) {
    return false;
  }
  static constexpr int kDaysInMonth[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (p.year % 4 == 0 && p.year % 100 != 0) || p.year % 400 == 0;
  if (p.day > kDaysInMonth[p.month - 1] || (p.month == 2 && p.day == 29 && !leap)) return false;
  value = EncodeDateTime(p);
  return true;
}
