#include "network/curl_failure.h"

namespace {

FailureKind KindOfCurl(CURLcode code) {
  switch (code) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_USE_SSL_FAILED:
      return FailureKind::Tls;
    case CURLE_PARTIAL_FILE:
    case CURLE_FILESIZE_EXCEEDED:
      return FailureKind::Size;
    case CURLE_ABORTED_BY_CALLBACK:
      return FailureKind::Cancelled;
    case CURLE_LOGIN_DENIED:
    case CURLE_REMOTE_ACCESS_DENIED:
      return FailureKind::Access;
    case CURLE_REMOTE_FILE_NOT_FOUND:
      return FailureKind::NotFound;
    case CURLE_WRITE_ERROR:
    case CURLE_READ_ERROR:
    case CURLE_OUT_OF_MEMORY:
      return FailureKind::System;
    default:
      return FailureKind::Network;
  }
}

}  // namespace

Failure FailureFromCurl(CURLcode code, const std::string& message, const std::string& action,
                        const std::string& address) {
  return {
      KindOfCurl(code), FailureCode::Curl, static_cast<long>(code),
      action,           address,           message.empty() ? curl_easy_strerror(code) : message};
}

Failure FailureFromHttpStatus(long status, const std::string& reason, const std::string& action,
                              const std::string& address) {
  return {FailureKind::ServerAnswer, FailureCode::Http, status, action, address, reason};
}

Failure FailureFromFtpReply(long reply, const std::string& text, const std::string& action,
                            const std::string& address) {
  // 550: no such file or no access; the server does not say which.
  return {reply == 550 ? FailureKind::NotFound : FailureKind::ServerAnswer,
          FailureCode::FtpReply,
          reply,
          action,
          address,
          text};
}
