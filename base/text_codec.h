// Conversions between the program's UTF-8 and the encodings of files and of
// the Windows API.
#pragma once

#include <string>
#include <string_view>

std::u16string Utf8ToUtf16(std::string_view text);
// Lone surrogates become U+FFFD rather than invalid UTF-8.
std::string Utf16ToUtf8(std::u16string_view text);
// Invalid sequences become U+FFFD.
std::string SanitizeUtf8(std::string_view text);
std::string Cp437ToUtf8(std::string_view text);
std::string Windows1252ToUtf8(std::string_view text);
// Characters outside the code page become "?".
std::string Utf8ToWindows1252(std::string_view text);
