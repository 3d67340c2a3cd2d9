#include <gtest/gtest.h>

#include "network/http_client.h"

TEST(UrlEncode, PathAndFileNameEncodedSchemeAndHostKept) {
  struct Case {
    const char* url;
    const char* encoded;
  };
  const Case cases[] = {
      {"http://h:8080/updates/P/D/Setup.zip", "http://h:8080/updates/P/D/Setup.zip"},
      {"http://h/updates/a b.zip", "http://h/updates/a%20b.zip"},
      {"http://h/updates/Grüße/ä.txt", "http://h/updates/Gr%C3%BC%C3%9Fe/%C3%A4.txt"},
      {"http://h/updates/€", "http://h/updates/%E2%82%AC"},
      {"http://h/x*<>#%\"{}|\\^[]`+", "http://h/x%2A%3C%3E%23%25%22%7B%7D%7C%5C%5E%5B%5D%60%2B"},
      {"http://h/tab\there\x01", "http://h/tab%09here%01"},
      // Everything else stays, "/" and the query mark included.
      {"http://h/-_.~!$&'()=;:@,?\x7F", "http://h/-_.~!$&'()=;:@,?\x7F"},
      {"http://a+b:8080/x+y", "http://a+b:8080/x%2By"},
      {"http://host", "http://host"},
      {"http://host/", "http://host/"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(UrlEncode(c.url), c.encoded) << c.url;
}
