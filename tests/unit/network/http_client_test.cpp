// The HTTP client against the real test update server on loopback.
#include "network/http_client.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "../support/temp_folder.h"
#include "../support/test_update_server.h"

namespace {

// Several pieces of body, so that a watcher is called more than once.
const std::string kBody(256 * 1024, 'q');

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File OpenForAppending(const std::string& path) { return {std::fopen(path.c_str(), "ab"), fclose}; }

HttpResult RunToItsEnd(THttpClient& client, const HttpRequest& request) {
  client.Start(request);
  for (;;) {
    const std::vector<THttpClient::Ended> ended = client.Work(50);
    if (!ended.empty()) return ended.front().result;
  }
}

class HttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_.Write("server/Produkt/daten.bin", kBody);
    ASSERT_TRUE(server_.Start(temp_.Path() + "server/", "--http-etag"));
  }

  HttpRequest Request(std::FILE* target) const {
    HttpRequest request;
    request.encodedUrl =
        "http://127.0.0.1:" + std::to_string(server_.HttpPort()) + "/updates/Produkt/daten.bin";
    request.target = target;
    request.expectedSize = static_cast<std::int64_t>(kBody.size());
    return request;
  }

  TempFolder temp_;
  TestUpdateServer server_{temp_.Path() + "server-run"};
};

}  // namespace

// An exception must not unwind through libcurl: the request fails, nothing
// may continue its bytes, and the same client serves the next request.
TEST_F(HttpClientTest, AThrowingWatcherFailsItsRequestAndTheClientGoesOn) {
  struct Case {
    const char* name;
    HttpBodyWatch watch;
  };
  const Case cases[] = {
      {"starts throws", {[](std::int64_t) { throw std::runtime_error("starts"); }, nullptr}},
      {"arrived throws", {nullptr, [](const char*, std::size_t) { throw std::bad_alloc(); }}},
      {"arrived throws no std::exception", {nullptr, [](const char*, std::size_t) { throw 7; }}},
  };
  THttpClient client;
  for (const Case& c : cases) {
    const File file = OpenForAppending(temp_.Path() + "daten.part");
    HttpRequest request = Request(file.get());
    request.watch = c.watch;
    const HttpResult result = RunToItsEnd(client, request);
    EXPECT_EQ(result.outcome, HttpOutcome::Failed) << c.name;
    EXPECT_EQ(result.failure.detail, "its callback threw") << c.name;
    EXPECT_EQ(result.kept.validator, "") << c.name;
  }

  const File file = OpenForAppending(temp_.Path() + "daten.bin");
  std::size_t watched = 0;
  HttpRequest request = Request(file.get());
  request.watch.arrived = [&watched](const char*, std::size_t size) { watched += size; };
  EXPECT_EQ(RunToItsEnd(client, request).outcome, HttpOutcome::Complete);
  EXPECT_EQ(watched, kBody.size());
}
