// Text helpers shared by the whole run. Text is UTF-8 everywhere inside the
// program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Maximal runs of characters other than the blank (code 32).
std::vector<std::string> SplitWords(std::string_view text);
// Index of the first character of the word with the given index, or npos.
std::size_t WordStart(std::string_view text, std::size_t wordIndex);
// Leading and trailing characters of code 32 and below removed.
std::string TrimControl(std::string_view text);
// Decimal with optional sign, or hexadecimal after "$", "x", "X", "0x", "0X".
std::optional<std::int64_t> ParseInteger(std::string_view word);
std::int32_t IntegerOrDefault(std::string_view word, std::int32_t fallback);
std::string StripAmpersands(std::string_view text);
// Part as a share of Whole scaled by Factor; 0 when either is not positive.
double CalcPercent(std::int32_t factor, std::int64_t whole, std::int64_t part);
// printf-like "%s" / "%d" substitution for the run's German texts.
std::string FormatText(std::string_view format, const std::vector<std::string>& args);
// Splits a parameter string the way a Windows command line is split:
// blanks separate, double quotes group.
std::vector<std::string> SplitCommandLine(std::string_view parameters);
// Quotes an argument for a parameter string when it holds blanks or quotes.
std::string QuoteArgument(const std::string& argument);
