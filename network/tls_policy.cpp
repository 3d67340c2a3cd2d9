#include "network/tls_policy.h"

#include "network/tls_policy_curl.h"

void ApplyTlsPolicy(CURL* handle, const TlsPolicy& policy) {
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(handle, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_2);
  // Schannel asks whether the certificate was revoked: a revoked one is
  // refused, one whose revocation list cannot be reached (a firewall, a CA
  // without one) is not. OpenSSL builds ignore this.
  curl_easy_setopt(handle, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
  // Without a file of its own curl keeps the store it was built for: the
  // system's CA bundle (OpenSSL) or the Windows certificate store (Schannel).
  if (!policy.caFile.empty()) curl_easy_setopt(handle, CURLOPT_CAINFO, policy.caFile.c_str());
  // Only FTP reads these: explicit TLS, asked for as "AUTH TLS".
  curl_easy_setopt(handle, CURLOPT_USE_SSL, policy.ftpTls ? CURLUSESSL_ALL : CURLUSESSL_NONE);
  curl_easy_setopt(handle, CURLOPT_FTPSSLAUTH, CURLFTPAUTH_TLS);
}
