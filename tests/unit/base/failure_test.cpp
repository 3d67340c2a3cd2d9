#include "base/failure.h"

#include <gtest/gtest.h>

// The log's failure line is read by support: each number says what it is.
TEST(DescribeFailure, NamesWhatWhereAndWhy) {
  struct Case {
    Failure failure;
    const char* line;
  };
  const Case cases[] = {
      {{FailureKind::ServerAnswer, FailureCode::Http, 404, "download", "http://h/x.dat",
        "Not Found"},
       "download http://h/x.dat: server answer 404 (Not Found)"},
      {{FailureKind::ServerAnswer, FailureCode::Http, 503, "download", "http://h/x.dat", ""},
       "download http://h/x.dat: server answer 503"},
      {{FailureKind::Tls, FailureCode::Curl, 60, "download", "https://h/",
        "SSL certificate problem"},
       "download https://h/: TLS refused, curl 60 (SSL certificate problem)"},
      {{FailureKind::DiskFull, FailureCode::System, 28, "write", "/t/a", "No space left on device"},
       "write /t/a: disk full, system error 28 (No space left on device)"},
      {{FailureKind::NotFound, FailureCode::FtpReply, 550, "list", "ftp://h:21/%2Fp/", "No such"},
       "list ftp://h:21/%2Fp/: not found, FTP reply 550 (No such)"},
      {{FailureKind::Size, FailureCode::None, 0, "download", "http://h/m", "no body"},
       "download http://h/m: size (no body)"},
      {{FailureKind::Cancelled, FailureCode::None, 0, "", "", ""}, "cancelled"},
  };
  for (const Case& c : cases) EXPECT_EQ(DescribeFailure(c.failure), c.line);
}
