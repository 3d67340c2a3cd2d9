// Date-time values as the run keeps them: days since 30 December 1899 as a
// double, the fraction being the time of day, in local time.
#pragma once

#include <cstdint>
#include <string>

using TDateTime = double;

struct DateTimeParts {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

TDateTime EncodeDateTime(const DateTimeParts& parts);
DateTimeParts DecodeDateTime(TDateTime value);

// "dd.mm.yyyy hh:mm": two dates count as the same file date when these agree.
std::string FormatDateToMinute(TDateTime value);
// "yyyymmddhhnnsszzz": two file dates are the same to the millisecond when
// these agree.
std::string FormatDateToMillisecond(TDateTime value);
// "yyyymmdd", the form of an install date.
std::string FormatDateCompact(TDateTime value);

// Cuts a date to what a packed DOS date-time holds (2-second steps, no
// milliseconds). False for years outside 1980..2107, which it cannot hold.
bool TruncateToDosTime(TDateTime value, TDateTime& truncated);
// Packed DOS date and time as ZIP entries carry them; false when invalid.
bool DosDateTimeToDateTime(std::uint16_t dosDate, std::uint16_t dosTime, TDateTime& value);
