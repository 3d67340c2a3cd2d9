// The download URL as the web server expects it: the path and the file name
// percent-encoded, scheme and host untouched.
#include <cstring>
#include <string>

#include "network/http_client.h"

namespace {

bool NeedsEncoding(unsigned char c) {
  return c <= 32 || c >= 128 || std::strchr("*<>#%\"{}|\\^[]`+", c) != nullptr;
}

// Where the path begins: after "scheme://host", or at the start when the
// text has no scheme.
std::size_t PathStart(const std::string& url) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string::npos) return 0;
  const std::size_t slash = url.find('/', scheme + 3);
  return slash == std::string::npos ? url.size() : slash;
}

}  // namespace

std::string UrlEncode(const std::string& url) {
  static const char kHex[] = "0123456789ABCDEF";
  const std::size_t pathStart = PathStart(url);
  std::string encoded = url.substr(0, pathStart);
  for (std::size_t i = pathStart; i < url.size(); ++i) {
    const auto c = static_cast<unsigned char>(url[i]);
    if (NeedsEncoding(c)) {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 15];
    } else {
      encoded += static_cast<char>(c);
    }
  }
  return encoded;
}
