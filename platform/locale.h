// The user's locale as far as the run depends on it: letter case, and the
// ANSI code page of files without a byte-order mark.
#pragma once

#include <string>
#include <string_view>

// Letter case by the locale's rules, umlauts included.
std::string UpperCaseLocale(std::string_view text);
std::string LowerCaseLocale(std::string_view text);
bool SameText(std::string_view a, std::string_view b);

// The system's ANSI code page (Windows-1252 outside Windows).
std::string AnsiToUtf8(std::string_view text);
std::string Utf8ToAnsi(std::string_view text);
