// Letter case and the ANSI code page of the user's locale,
// as Windows defines them.
#include <windows.h>

#include <string>

#include "base/strings.h"
#include "base/text_codec.h"
#include "platform/locale.h"
#include "platform/win32/wide_text.h"

// ---- Helpers ----

namespace {

std::string MapCase(std::string_view text, DWORD(WINAPI* map)(LPWSTR, DWORD)) {
  std::wstring wide = Widen(text);
  if (!wide.empty()) map(wide.data(), static_cast<DWORD>(wide.size()));
  return Narrow(wide);
}

}  // namespace

// ---- Letter case ----

std::string UpperCaseLocale(std::string_view text) { return MapCase(text, CharUpperBuffW); }

std::string LowerCaseLocale(std::string_view text) { return MapCase(text, CharLowerBuffW); }

// Upper-cased comparison rather than collation, which would call texts
// equal that differ in ignorable characters.
bool SameText(std::string_view a, std::string_view b) {
  if (a == b) return true;
  return UpperCaseLocale(a) == UpperCaseLocale(b);
}

// ---- ANSI code page ----

std::string AnsiToUtf8(std::string_view text) {
  if (text.empty()) return std::string();
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
  return Narrow(wide);
}

// No best-fit mapping: a character outside the code page becomes "?", never
// a look-alike such as a path separator.
std::string Utf8ToAnsi(std::string_view text) {
  const std::wstring wide = Widen(text);
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr,
                                         0, nullptr, nullptr);
  std::string ansi(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, ansi.data(), length,
                        nullptr, nullptr);
  }
  return ansi;
}
