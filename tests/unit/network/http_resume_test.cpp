#include "network/http_resume.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kDate = "Tue, 10 Mar 2026 12:00:00 GMT";

TEST(ResumeValidator, AStrongEtagOrADateWellBeforeTheAnswer) {
  struct Case {
    const char* what;
    HttpVersionHeaders response;
    const char* validator;
  };
  const Case cases[] = {
      {"strong ETag", {"\"v1\"", "Tue, 10 Mar 2026 11:59:00 GMT", kDate, ""}, "\"v1\""},
      {"weak ETag, old date",
       {"W/\"v1\"", "Tue, 10 Mar 2026 11:59:00 GMT", kDate, ""},
       "Tue, 10 Mar 2026 11:59:00 GMT"},
      {"unquoted ETag, no date", {"v1", "", kDate, ""}, ""},
      {"date 60 s old",
       {"", "Tue, 10 Mar 2026 11:59:00 GMT", kDate, ""},
       "Tue, 10 Mar 2026 11:59:00 GMT"},
      {"date 59 s old", {"", "Tue, 10 Mar 2026 11:59:01 GMT", kDate, ""}, ""},
      {"date equal to the answer's", {"", kDate, kDate, ""}, ""},
      {"date after the answer's", {"", "Tue, 10 Mar 2026 12:05:00 GMT", kDate, ""}, ""},
      {"no Date in the answer", {"", "Tue, 10 Mar 2026 11:00:00 GMT", "", ""}, ""},
      {"unreadable date", {"", "gestern", kDate, ""}, ""},
      {"nothing", {}, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ResumeValidator(c.response), c.validator) << c.what;
}

TEST(ContinuesKeptBytes, TheValidatorSentAndTheRestOfTheSameWholeSize) {
  const HttpResume byEtag{100, "\"v1\"", 300};
  const HttpResume byDate{100, "Tue, 10 Mar 2026 11:00:00 GMT", 300};
  struct Case {
    const char* what;
    HttpResume sent;
    HttpVersionHeaders response;
    bool continues;
  };
  const Case cases[] = {
      {"same ETag", byEtag, {"\"v1\"", "", kDate, "bytes 100-299/300"}, true},
      {"another ETag", byEtag, {"\"v2\"", "", kDate, "bytes 100-299/300"}, false},
      {"no ETag", byEtag, {"", "", kDate, "bytes 100-299/300"}, false},
      {"weak form of the ETag", byEtag, {"W/\"v1\"", "", kDate, "bytes 100-299/300"}, false},
      {"same date", byDate, {"\"x\"", byDate.validator, kDate, "bytes 100-299/300"}, true},
      {"another date",
       byDate,
       {"", "Tue, 10 Mar 2026 11:00:01 GMT", kDate, "bytes 100-299/300"},
       false},
      {"another total", byEtag, {"\"v1\"", "", kDate, "bytes 100-300/301"}, false},
      {"total unknown", byEtag, {"\"v1\"", "", kDate, "bytes 100-299/*"}, false},
      {"starts elsewhere", byEtag, {"\"v1\"", "", kDate, "bytes 0-299/300"}, false},
      {"ends short", byEtag, {"\"v1\"", "", kDate, "bytes 100-199/300"}, false},
      {"no Content-Range", byEtag, {"\"v1\"", "", kDate, ""}, false},
      {"other unit", byEtag, {"\"v1\"", "", kDate, "items 100-299/300"}, false},
      {"trailing text", byEtag, {"\"v1\"", "", kDate, "bytes 100-299/300x"}, false},
      {"nothing was asked", {}, {"", "", kDate, "bytes 0-299/300"}, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ContinuesKeptBytes(c.sent, c.response), c.continues) << c.what;
}

}  // namespace
