// How the clients secure their connections. The program gives each client
// the policy of its deployment values; a client applies it to every
// connection it opens.
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
