// Local time and the system clock: the time zone and its rules are the
// system's.
#pragma once

#include <cstdint>

#include "base/date_time.h"

TDateTime NowLocal();
TDateTime UnixTimeToLocal(std::int64_t unixSeconds, int milliseconds = 0);
std::int64_t LocalToUnixTime(TDateTime value);
// A broken-down UTC time (as FTP listings give it) as a local date-time.
TDateTime UtcPartsToLocal(const DateTimeParts& utc);
