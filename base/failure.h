// Why something failed, the same for every layer: what kind of failure it
// is, the raw number it came with (an OS error, a libcurl code, an HTTP
// status, an FTP reply), what was being done, where, and a short English
// detail. The person sees a German message chosen by the phase; the
// diagnostic log keeps this, so that support can tell a refused certificate
// from a 404 or a full disk.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

enum class FailureKind {
  Network,       // no connection, a cut one, a server that stopped delivering
  Tls,           // a certificate or handshake refused
  ServerAnswer,  // the server answered with an error
  Size,          // a body of another size than allowed or announced
  Signature,     // bytes or a release not vouched for by the vendor's key
  DiskFull,
  Access,  // refused, or someone else's
  NotFound,
  Cancelled,
  Damaged,  // content that cannot be read as what it should be
  System,   // any other error of the operating system
};

// What the number in a failure is.
enum class FailureCode { None, System, Curl, Http, FtpReply };

struct Failure {
  FailureKind kind = FailureKind::System;
  FailureCode codeOf = FailureCode::None;
  long code = 0;
  std::string action;  // "download", "open", "write", ...
  std::string place;   // a path or an address, never with a password
  std::string detail;  // short English, e.g. the OS's or libcurl's text
};

// One line for the log, e.g.
//   download http://127.0.0.1:8080/updates/x.dat: server answer 404 (Not Found)
//   write /tmp/Produkt/Daten/a.txt: disk full, system error 28 (No space left on device)
std::string DescribeFailure(const Failure& failure);
const char* FailureKindName(FailureKind kind);

// A failure that leaves the code which found it by exception.
class FailureError : public std::runtime_error {
 public:
  explicit FailureError(Failure failure)
      : std::runtime_error(DescribeFailure(failure)), failure_(std::move(failure)) {}
  const Failure& failure() const { return failure_; }

 private:
  Failure failure_;
};
