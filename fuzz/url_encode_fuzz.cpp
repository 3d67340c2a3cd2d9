// The download address: the web address of the updates followed by the
// server folder and file name as the listing gave them. The encoded address
// keeps scheme and host, holds only printable ASCII outside the encoded set,
// and decodes to what went in.
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "network/http_client.h"

namespace {

constexpr std::string_view kWebAddress = "http://127.0.0.1:8080/updates/";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // the encoder writes upper-case digits only
}

// Percent-decodes text that may hold only the characters left as they are.
std::string CheckedDecode(std::string_view encoded) {
  std::string decoded;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    const auto c = static_cast<unsigned char>(encoded[i]);
    if (c == '%') {
      Require(i + 2 < encoded.size(), "percent sign without two digits");
      const int high = HexValue(encoded[i + 1]);
      const int low = HexValue(encoded[i + 2]);
      Require(high >= 0 && low >= 0, "percent sign without two upper-case hex digits");
      decoded += static_cast<char>(high * 16 + low);
      i += 2;
      continue;
    }
    // 127 stays: only blanks, controls below it and the listed marks go.
    Require(c > 32 && c < 128 && std::strchr("*<>#\"{}|\\^[]`+", c) == nullptr,
            "character left unencoded: " + std::to_string(c));
    decoded += static_cast<char>(c);
  }
  return decoded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path(AsText(data, size));
  const std::string encoded = UrlEncode(std::string(kWebAddress) + path);
  Require(encoded.starts_with(kWebAddress), "scheme, host or folder changed");
  Require(CheckedDecode(std::string_view(encoded).substr(kWebAddress.size())) == path,
          "encoded path decodes to something else");
  return 0;
}
