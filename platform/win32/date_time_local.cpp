// Local time on Windows: the zone rules in force at the date converted, as
// SystemTimeToTzSpecificLocalTime applies them, so a winter date converts
// with the winter offset even in summer.
#include "platform/local_time.h"

#include <windows.h>

#include <cmath>

// ---- Helpers ----

namespace {

constexpr double kUnixEpochDays = 25569.0;  // 1970-01-01 as a date-time value
constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kUnixEpochTicks = 116444736000000000;  // 1970 in FILETIME ticks

DateTimeParts PartsFromSystemTime(const SYSTEMTIME& time) {
  DateTimeParts p;
  p.year = time.wYear;
  p.month = time.wMonth;
  p.day = time.wDay;
  p.hour = time.wHour;
  p.minute = time.wMinute;
  p.second = time.wSecond;
  p.millisecond = time.wMilliseconds;
  return p;
}

// False outside the years SYSTEMTIME holds.
bool SystemTimeFromParts(const DateTimeParts& p, SYSTEMTIME& time) {
  if (p.year < 1601 || p.year > 30827) return false;
  time = {};
  time.wYear = static_cast<WORD>(p.year);
  time.wMonth = static_cast<WORD>(p.month);
  time.wDay = static_cast<WORD>(p.day);
  time.wHour = static_cast<WORD>(p.hour);
  time.wMinute = static_cast<WORD>(p.minute);
  time.wSecond = static_cast<WORD>(p.second);
  time.wMilliseconds = static_cast<WORD>(p.millisecond);
  return true;
}

bool UtcToLocal(const SYSTEMTIME& utc, TDateTime& local) {
  SYSTEMTIME converted;
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &converted)) return false;
  local = EncodeDateTime(PartsFromSystemTime(converted));
  return true;
}

}  // namespace

// ---- Port functions ----

TDateTime NowLocal() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return EncodeDateTime(PartsFromSystemTime(now));
}

TDateTime UnixTimeToLocal(std::int64_t unixSeconds, int milliseconds) {
  const std::int64_t ticks = unixSeconds * kTicksPerSecond + kUnixEpochTicks;
  FILETIME fileTime;
  fileTime.dwLowDateTime = static_cast<DWORD>(ticks);
  fileTime.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
  SYSTEMTIME utc;
  TDateTime local = 0;
  if (ticks >= 0 && FileTimeToSystemTime(&fileTime, &utc)) {
    utc.wMilliseconds = static_cast<WORD>(milliseconds);
    if (UtcToLocal(utc, local)) return local;
  }
  return kUnixEpochDays + (unixSeconds + milliseconds / 1000.0) / 86400.0;
}

std::int64_t LocalToUnixTime(TDateTime value) {
  DateTimeParts p = DecodeDateTime(value);
  p.millisecond = 0;
  SYSTEMTIME local, utc;
  FILETIME fileTime;
  if (SystemTimeFromParts(p, local) && TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) &&
      SystemTimeToFileTime(&utc, &fileTime)) {
    const auto ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime);
    return (ticks - kUnixEpochTicks) / kTicksPerSecond;
  }
  return static_cast<std::int64_t>(std::floor((value - kUnixEpochDays) * 86400.0));
}

TDateTime UtcPartsToLocal(const DateTimeParts& utc) {
  SYSTEMTIME time;
  TDateTime local = 0;
  if (SystemTimeFromParts(utc, time) && UtcToLocal(time, local)) return local;
  return EncodeDateTime(utc);
}
