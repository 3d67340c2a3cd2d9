// UTF-8 text to and from std::filesystem paths. A path made from a plain
// std::string takes the ANSI code page on Windows, while the port's names are
// UTF-8 everywhere.
#pragma once

#include <filesystem>
#include <string>

inline std::filesystem::path Utf8Path(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8Text(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}
