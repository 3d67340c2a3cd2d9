// The test update server (tests/update_server/) on free loopback ports for
// one test, stopped with this object. POSIX builds only: it is a shell script.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class TestUpdateServer {
 public:
  // The server's pid, ready file and event log go to `runDir`.
  explicit TestUpdateServer(std::string runDir) : runDir_(std::move(runDir)) {}
  ~TestUpdateServer() { Stop(); }
  TestUpdateServer(const TestUpdateServer&) = delete;
  TestUpdateServer& operator=(const TestUpdateServer&) = delete;

  // Serves `tree` (ending with "/") with the server's extra `options`; false
  // when it did not come up.
  bool Start(const std::string& tree, const std::string& options = "") {
    const std::string command = "'" + Script() + "' start '" + runDir_ + "' '" + tree +
                                "' --ftp-port 0 --http-port 0 " + options;
    started_ = std::system(command.c_str()) == 0;
    return started_ && FtpPort() > 0 && HttpPort() > 0;
  }

  // Stops the server and forgets its run folder, so that Start can serve
  // again.
  void Stop() {
    if (started_) std::system(("'" + Script() + "' stop '" + runDir_ + "'").c_str());
    started_ = false;
    std::filesystem::remove_all(runDir_);
  }

  int FtpPort() const { return NumberField(ReadAll(runDir_ + "/ready.json"), "ftp_port"); }
  int HttpPort() const { return NumberField(ReadAll(runDir_ + "/ready.json"), "http_port"); }
  // The server's JSON-lines event log.
  std::string Log() const { return ReadAll(runDir_ + "/events.jsonl"); }

 private:
  static std::string Script() {
    return std::string(QV_TEST_DATA_DIR) + "/../update_server/update-server.sh";
  }
  static std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // A JSON number field of the ready file.
  static int NumberField(const std::string& json, const std::string& name) {
    const std::size_t at = json.find("\"" + name + "\":");
    return at == std::string::npos ? 0 : std::atoi(json.c_str() + at + name.size() + 3);
  }

  std::string runDir_;
  bool started_ = false;
};
