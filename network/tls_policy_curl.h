// The TLS policy on a curl handle; for the two clients only.
#pragma once

#include <curl/curl.h>

#include "network/tls_policy.h"

// Certificates and host names are verified on every TLS connection, against
// the policy's CA file or the system's store; there is no way to turn that off.
void ApplyTlsPolicy(CURL* handle, const TlsPolicy& policy);
