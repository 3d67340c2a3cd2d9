#include "base/date_time.h"

#include <gtest/gtest.h>

TEST(DateTime, EncodeAndDecodeRoundTrip) {
  const DateTimeParts parts{2026, 12, 10, 10, 15, 59, 123};
  const DateTimeParts back = DecodeDateTime(EncodeDateTime(parts));
  EXPECT_EQ(back.year, 2026);
  EXPECT_EQ(back.month, 12);
  EXPECT_EQ(back.day, 10);
  EXPECT_EQ(back.hour, 10);
  EXPECT_EQ(back.minute, 15);
  EXPECT_EQ(back.second, 59);
  EXPECT_EQ(back.millisecond, 123);
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30}), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({1900, 1, 1, 12}), 2.5);
}

TEST(DateTime, FormatsKeepWhatTheyCompare) {
  EXPECT_EQ(FormatDateToMinute(EncodeDateTime({2026, 3, 4, 10, 15, 59})), "04.03.2026 10:15");
  EXPECT_EQ(FormatDateToMinute(EncodeDateTime({2026, 3, 4, 10, 15, 1})), "04.03.2026 10:15");
  EXPECT_EQ(FormatDateCompact(EncodeDateTime({2026, 3, 4})), "20260304");
  EXPECT_EQ(FormatDateToMillisecond(EncodeDateTime({2026, 3, 4, 10, 15, 59, 7})),
            "20260304101559007");
  // A millisecond more is another date; a tiny fraction of one is not.
  const TDateTime date = EncodeDateTime({2026, 3, 4, 23, 59, 59, 999});
  EXPECT_NE(FormatDateToMillisecond(date), FormatDateToMillisecond(date + 1.0 / 86400000));
  EXPECT_EQ(FormatDateToMillisecond(date), FormatDateToMillisecond(date + 1e-12));
}

TEST(DateTime, DosTimeKeepsEvenSecondsOnly) {
  TDateTime truncated = 0;
  ASSERT_TRUE(TruncateToDosTime(EncodeDateTime({2026, 1, 2, 12, 0, 1, 999}), truncated));
  EXPECT_EQ(DecodeDateTime(truncated).second, 0);
  EXPECT_EQ(DecodeDateTime(truncated).millisecond, 0);
  EXPECT_FALSE(TruncateToDosTime(EncodeDateTime({1979, 12, 31}), truncated));
  EXPECT_FALSE(TruncateToDosTime(EncodeDateTime({2108, 1, 1}), truncated));

  TDateTime value = 0;
  // 2026-12-10 10:15:58: date (46 << 9) | (12 << 5) | 10, time (10 << 11) | (15 << 5) | 29.
  ASSERT_TRUE(
      DosDateTimeToDateTime((46 << 9) | (12 << 5) | 10, (10 << 11) | (15 << 5) | 29, value));
  EXPECT_EQ(FormatDateToMinute(value), "10.12.2026 10:15");
  EXPECT_FALSE(DosDateTimeToDateTime((46 << 9) | (2 << 5) | 30, 0, value));  // 30 February
  EXPECT_FALSE(DosDateTimeToDateTime(0, 0, value));                          // month 0
}
