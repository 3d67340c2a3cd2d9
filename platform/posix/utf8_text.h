// Counting characters of UTF-8 text where a byte count would cut one apart.
#pragma once

#include <algorithm>
#include <string>

inline bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

inline std::size_t CharacterCount(const std::string& text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return !IsUtf8Continuation(c); }));
}

inline std::string FirstCharacters(const std::string& text, std::size_t count) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsUtf8Continuation(text[i]) && characters++ == count) return text.substr(0, i);
  }
  return text;
}
