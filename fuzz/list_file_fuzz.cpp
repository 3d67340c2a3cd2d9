// List-file decoding: every byte string gives valid UTF-8 lines without line
// ends, and writing the lines back in the encoding read (or in UTF-8 or
// UTF-16, which hold every character) reads back as the same lines.
#include <cstdint>

#include "fuzz_support.h"
#include "platform/list_file.h"

namespace {

const char* EncodingName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Ansi:
      return "ANSI";
    case TextEncoding::Utf8:
      return "UTF-8";
    case TextEncoding::Utf16LE:
      return "UTF-16LE";
    case TextEncoding::Utf16BE:
      return "UTF-16BE";
  }
  return "?";
}

void RequireRoundTrip(const ListFile& decoded, TextEncoding encoding) {
  ListFile file = decoded;
  file.encoding = encoding;
  const ListFile again = DecodeListFile(EncodeListFile(file));
  Require(again.encoding == encoding, std::string("encoding lost: ") + EncodingName(encoding));
  Require(again.lines == decoded.lines,
          std::string("lines changed on the way through ") + EncodingName(encoding));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ListFile decoded = DecodeListFile(AsText(data, size));
  for (const std::string& line : decoded.lines) {
    Require(IsValidUtf8(line), "decoded line is no valid UTF-8");
    Require(line.find_first_of("\r\n") == std::string::npos, "line end inside a line");
  }
  RequireRoundTrip(decoded, decoded.encoding);
  RequireRoundTrip(decoded, TextEncoding::Utf8);
  RequireRoundTrip(decoded, TextEncoding::Utf16LE);
  RequireRoundTrip(decoded, TextEncoding::Utf16BE);
  return 0;
}
