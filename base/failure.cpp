#include "base/failure.h"

const char* FailureKindName(FailureKind kind) {
  switch (kind) {
    case FailureKind::Network:
      return "network";
    case FailureKind::Tls:
      return "TLS refused";
    case FailureKind::ServerAnswer:
      return "server answer";
    case FailureKind::Size:
      return "size";
    case FailureKind::Signature:
      return "not vouched for";
    case FailureKind::DiskFull:
      return "disk full";
    case FailureKind::Access:
      return "access denied";
    case FailureKind::NotFound:
      return "not found";
    case FailureKind::Cancelled:
      return "cancelled";
    case FailureKind::Damaged:
      return "damaged";
    case FailureKind::System:
      break;
  }
  return "system";
}

namespace {

// The number as its source calls it; an HTTP status stands alone after the
// kind ("server answer 404").
std::string CodeText(const Failure& failure) {
  const std::string number = std::to_string(failure.code);
  switch (failure.codeOf) {
    case FailureCode::None:
      break;
    case FailureCode::System:
      return ", system error " + number;
    case FailureCode::Curl:
      return ", curl " + number;
    case FailureCode::Http:
      return " " + number;
    case FailureCode::FtpReply:
      return ", FTP reply " + number;
  }
  return "";
}

}  // namespace

std::string DescribeFailure(const Failure& failure) {
  std::string line = failure.action;
  if (!failure.place.empty()) line += (line.empty() ? "" : " ") + failure.place;
  if (!line.empty()) line += ": ";
  line += FailureKindName(failure.kind) + CodeText(failure);
  if (!failure.detail.empty()) line += " (" + failure.detail + ")";
  return line;
}
