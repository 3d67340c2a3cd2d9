// The run's diagnostic log, for the vendor's support: one UTF-8 line per
// event that matters, with the time (UTC, to the millisecond), kept in a
// folder of the updater's own beside the download folder. The newest few
// runs are kept, each bounded in size. Nothing secret is ever written: the
// callers pass events, never the FTP password or a key.
//
//   2026-12-11T09:30:01.250Z status: Verbinde mit Update-Server...
//   2026-12-11T09:30:07.004Z failure: download http://127.0.0.1:8080/updates/x.dat:
//     server answer 404 (Not Found); shown: Es ist ein Fehler beim Herunterladen ...
//     (one line in the file)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class DiagnosticLog {
 public:
  static constexpr int kKeptRuns = 5;
  static constexpr std::int64_t kRunSizeLimit = 1024 * 1024;

  DiagnosticLog() = default;
  ~DiagnosticLog();
  DiagnosticLog(const DiagnosticLog&) = delete;
  DiagnosticLog& operator=(const DiagnosticLog&) = delete;

  // Lines written before the folder is known wait until it is.
  void Write(const std::string& event, const std::string& detail);
  // This run's file in `folder` (made the updater's own first), the oldest
  // runs' files beyond the kept ones deleted. False when the folder cannot
  // be used: the log is then kept nowhere, and the run goes on without it.
  bool Open(const std::string& folder);
  bool IsOpen() const { return file_ != nullptr; }

 private:
  void Append(const std::string& line);

  std::FILE* file_ = nullptr;
  std::int64_t written_ = 0;
  bool opened_ = false;
  std::vector<std::string> waiting_;
};

// The folder the log of a run with this download folder lives in.
std::string DiagnosticLogFolderOf(const std::string& downloadFolder);
