// How the clients secure their connections. The program sets it once from
// its deployment values; both clients apply it to every connection.
#pragma once

#include <string>

struct TlsPolicy {
  // FTP: explicit TLS (AUTH TLS) on the control and every data connection.
  // HTTP takes TLS from the address's scheme (https://).
  bool ftpTls = false;
  // PEM file of the certificate authorities servers are checked against;
  // "" for the system's store.
  std::string caFile;
};

void SetTlsPolicy(TlsPolicy policy);
