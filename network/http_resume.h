// When a download may continue after the bytes an earlier response brought,
// by HTTP's rules for If-Range and 206. Whatever does not meet them is
// fetched whole; kept bytes are never appended to on a guess.
#pragma once

#include <cstdint>
#include <string>

inline constexpr std::int64_t kAnySize = -1;

// What a file's bytes are, or where a request may continue them: how many
// there are, the validator of the version they came from (its strong ETag,
// or the date it came with; "" when nothing vouches for them) and that
// version's whole size.
struct HttpResume {
  std::int64_t offset = 0;
  std::string validator;
  std::int64_t total = kAnySize;

  // Whether a request may ask for the rest of them.
  bool Continuable() const {
    return offset > 0 && !validator.empty() && total != kAnySize && offset < total;
  }
};

// The headers of a response that tell its version and its range.
struct HttpVersionHeaders {
  std::string etag;
  std::string lastModified;
  std::string date;
  std::string contentRange;
};

// The validator that may stand in If-Range for a response's bytes: its
// strong ETag; else its Last-Modified when that lies at least 60 s before the
// response's Date (a file changed within that time may change again under
// the same date); "" when neither.
std::string ResumeValidator(const HttpVersionHeaders& response);

// Whether a 206 continues the kept bytes: it carries the validator that was
// sent, and its Content-Range runs from the kept length to the end of a file
// of the kept version's whole size.
bool ContinuesKeptBytes(const HttpResume& sent, const HttpVersionHeaders& response);
