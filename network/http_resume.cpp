#include "network/http_resume.h"

#include <curl/curl.h>

#include <cctype>

namespace {

// A date must lie this far before the response's own to tell one version
// from the next: dates have whole seconds, and a server's clock and the
// file's may disagree a little.
constexpr std::int64_t kLeastDateAgeSeconds = 60;

bool IsStrongEtag(const std::string& etag) {
  return etag.size() >= 2 && etag.front() == '"' && etag.back() == '"';
}

// Seconds since 1970 of an HTTP date; -1 when it is none.
std::int64_t HttpDateSeconds(const std::string& date) {
  return date.empty() ? -1 : static_cast<std::int64_t>(curl_getdate(date.c_str(), nullptr));
}

// The decimal number at `at`, moving `at` past it; -1 when there is none.
std::int64_t ReadNumber(const std::string& text, std::size_t& at) {
  std::int64_t value = -1;
  for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) != 0; ++at) {
    if (value > (INT64_MAX - 9) / 10) return -1;
    value = (value < 0 ? 0 : value * 10) + (text[at] - '0');
  }
  return value;
}

struct ByteRange {
  std::int64_t first = -1;
  std::int64_t last = -1;
  std::int64_t total = -1;
};

// "bytes 100-199/200"; all -1 when the value is not of that form.
ByteRange ParseContentRange(const std::string& value) {
  constexpr char kUnit[] = "bytes ";
  if (value.rfind(kUnit, 0) != 0) return {};
  std::size_t at = sizeof kUnit - 1;
  ByteRange range;
  range.first = ReadNumber(value, at);
  if (range.first < 0 || at >= value.size() || value[at++] != '-') return {};
  range.last = ReadNumber(value, at);
  if (range.last < 0 || at >= value.size() || value[at++] != '/') return {};
  range.total = ReadNumber(value, at);
  if (range.total < 0 || at != value.size()) return {};
  return range;
}

}  // namespace

std::string ResumeValidator(const HttpVersionHeaders& response) {
  if (IsStrongEtag(response.etag)) return response.etag;
  const std::int64_t modified = HttpDateSeconds(response.lastModified);
  const std::int64_t now = HttpDateSeconds(response.date);
  if (modified < 0 || now < 0 || now - modified < kLeastDateAgeSeconds) return "";
  return response.lastModified;
}

bool ContinuesKeptBytes(const HttpResume& sent, const HttpVersionHeaders& response) {
  if (!sent.Continuable()) return false;
  const std::string& carried = IsStrongEtag(sent.validator) ? response.etag : response.lastModified;
  if (carried != sent.validator) return false;
  const ByteRange range = ParseContentRange(response.contentRange);
  return range.first == sent.offset && range.last == sent.total - 1 && range.total == sent.total;
}
