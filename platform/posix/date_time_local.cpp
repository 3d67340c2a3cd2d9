// Local time on POSIX: the C library's zone rules (TZ, /etc/localtime).
#include <sys/time.h>
#include <time.h>

#include <cmath>

#include "platform/local_time.h"

namespace {

constexpr double kUnixEpochDays = 25569.0;  // 1970-01-01 as a date-time value

DateTimeParts PartsFromTm(const struct tm& t, int milliseconds) {
  DateTimeParts p;
  p.year = t.tm_year + 1900;
  p.month = t.tm_mon + 1;
  p.day = t.tm_mday;
  p.hour = t.tm_hour;
  p.minute = t.tm_min;
  p.second = t.tm_sec > 59 ? 59 : t.tm_sec;
  p.millisecond = milliseconds;
  return p;
}

}  // namespace

TDateTime UnixTimeToLocal(std::int64_t unixSeconds, int milliseconds) {
  const time_t seconds = static_cast<time_t>(unixSeconds);
  struct tm local {};
  if (localtime_r(&seconds, &local) == nullptr) {
    return kUnixEpochDays + (unixSeconds + milliseconds / 1000.0) / 86400.0;
  }
  return EncodeDateTime(PartsFromTm(local, milliseconds));
}

TDateTime NowLocal() {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  return UnixTimeToLocal(now.tv_sec, static_cast<int>(now.tv_nsec / 1000000));
}

std::int64_t LocalToUnixTime(TDateTime value) {
  const DateTimeParts p = DecodeDateTime(value);
  struct tm local {};
  local.tm_year = p.year - 1900;
  local.tm_mon = p.month - 1;
  local.tm_mday = p.day;
  local.tm_hour = p.hour;
  local.tm_min = p.minute;
  local.tm_sec = p.second;
  local.tm_isdst = -1;  // let the zone rules decide
  return static_cast<std::int64_t>(mktime(&local));
}

TDateTime UtcPartsToLocal(const DateTimeParts& utc) {
  struct tm t {};
  t.tm_year = utc.year - 1900;
  t.tm_mon = utc.month - 1;
  t.tm_mday = utc.day;
  t.tm_hour = utc.hour;
  t.tm_min = utc.minute;
  t.tm_sec = utc.second;
  return UnixTimeToLocal(static_cast<std::int64_t>(timegm(&t)), utc.millisecond);
}
