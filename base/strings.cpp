#include "base/strings.h"

#include <cstdint>

// ---- Words and trimming ----

std::vector<std::string> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    const std::size_t start = i;
    while (i < text.size() && text[i] != ' ') ++i;
    if (i > start) words.emplace_back(text.substr(start, i - start));
  }
  return words;
}

std::size_t WordStart(std::string_view text, std::size_t wordIndex) {
  std::size_t i = 0;
  for (std::size_t word = 0;; ++word) {
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size()) return std::string_view::npos;
    if (word == wordIndex) return i;
    while (i < text.size() && text[i] != ' ') ++i;
  }
}

std::string TrimControl(std::string_view text) {
  std::size_t start = 0;
  std::size_t end = text.size();
  while (start < end && static_cast<unsigned char>(text[start]) <= 32) ++start;
  while (end > start && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return std::string(text.substr(start, end - start));
}

// ---- Numbers ----

std::optional<std::int64_t> ParseInteger(std::string_view word) {
  bool negative = false;
  std::size_t i = 0;
  if (i < word.size() && (word[i] == '-' || word[i] == '+')) {
    negative = word[i] == '-';
    ++i;
  }
  int base = 10;
  if (word.substr(i, 1) == "$" || word.substr(i, 1) == "x" || word.substr(i, 1) == "X") {
    base = 16;
    i += 1;
  } else if (word.substr(i, 2) == "0x" || word.substr(i, 2) == "0X") {
    base = 16;
    i += 2;
  }
  if (i >= word.size()) return std::nullopt;
  std::uint64_t value = 0;
  for (; i < word.size(); ++i) {
    const char c = word[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    if (value > (static_cast<std::uint64_t>(INT64_MAX) - digit) / base) return std::nullopt;
    value = value * base + digit;
  }
  // Hexadecimal words are 32-bit patterns: $FF000000 is a negative colour.
  if (base == 16 && value <= 0xFFFFFFFFull) {
    return negative ? -static_cast<std::int64_t>(static_cast<std::int32_t>(value))
                    : static_cast<std::int64_t>(static_cast<std::int32_t>(value));
  }
  const auto signedValue = static_cast<std::int64_t>(value);
  return negative ? -signedValue : signedValue;
}

std::int32_t IntegerOrDefault(std::string_view word, std::int32_t fallback) {
  const auto value = ParseInteger(word);
  if (!value || *value < INT32_MIN || *value > INT32_MAX) return fallback;
  return static_cast<std::int32_t>(*value);
}

// ---- Captions, percentages, formats ----

std::string StripAmpersands(std::string_view text) {
  std::string result;
  for (char c : text) {
    if (c != '&') result += c;
  }
  return result;
}

double CalcPercent(std::int32_t factor, std::int64_t whole, std::int64_t part) {
  if (whole <= 0 || part <= 0) return 0;
  const long double q = static_cast<long double>(whole) / factor;
  if (q == 0) return 0;
  return static_cast<double>(static_cast<long double>(part) / q);
}

std::string FormatText(std::string_view format, const std::vector<std::string>& args) {
  std::string result;
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) {
      result += format[i];
      continue;
    }
    const char conversion = format[++i];
    if (conversion == '%') {
      result += '%';
    } else if ((conversion == 's' || conversion == 'S' || conversion == 'd') &&
               next < args.size()) {
      result += args[next++];
    } else {
      result += '%';
      result += conversion;
    }
  }
  return result;
}

// ---- Command lines ----

std::vector<std::string> SplitCommandLine(std::string_view parameters) {
  std::vector<std::string> arguments;
  std::size_t i = 0;
  while (i < parameters.size()) {
    while (i < parameters.size() && (parameters[i] == ' ' || parameters[i] == '\t')) ++i;
    if (i >= parameters.size()) break;
    std::string argument;
    bool quoted = false;
    for (; i < parameters.size(); ++i) {
      const char c = parameters[i];
      if (c == '"') {
        quoted = !quoted;
      } else if (!quoted && (c == ' ' || c == '\t')) {
        break;
      } else {
        argument += c;
      }
    }
    arguments.push_back(argument);
  }
  return arguments;
}

std::string QuoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  for (char c : argument) {
    if (c != '"') quoted += c;  // a quote cannot be part of a file name
  }
  return quoted + "\"";
}
