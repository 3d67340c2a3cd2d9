// UTF-8 inside the program, UTF-16 at the Win32 boundary.
#pragma once

#include <string>
#include <string_view>

#include "base/text_codec.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide text is UTF-16");

inline std::wstring Widen(std::string_view text) {
  const std::u16string wide = Utf8ToUtf16(text);
  return std::wstring(wide.begin(), wide.end());
}

inline std::string Narrow(std::wstring_view text) {
  return Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

// The system would see a path only up to an embedded NUL and act on
// another file; such a path names none (the empty path fails every call).
inline std::wstring WidePath(std::string_view path) {
  return path.find('\0') == std::string_view::npos ? Widen(path) : std::wstring();
}
