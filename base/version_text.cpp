#include "base/version_text.h"

#include "base/strings.h"

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

// ---- File version ----

// The product numbers each part after the first with one digit, so
// 1.4.4.0 reads 1.44 and 2.0.5.0 reads 2.05.
std::string ShortFileVersion(std::string fileVersion) {
  std::string& v = fileVersion;
  if (v.size() < 3) return "";
  if (v.size() == 3 || !EndsWith(v, ".0")) return v;
  v.erase(v.size() - 2);
  if (v.size() > 3 && EndsWith(v, "0.0")) {
    v.erase(v.size() - 2);
  } else {
    v.erase(v.size() - 2, 1);
  }
  return v;
}

// ---- Names ----

std::string StripVersionSuffix(const std::string& text) {
  const std::vector<std::string> words = SplitWords(text);
  if (words.empty()) return text;
  const std::string& last = words.back();
  if (last.front() != 'V' || last.find('.') == std::string::npos) return text;
  return TrimControl(std::string_view(text).substr(0, WordStart(text, words.size() - 1)));
}

std::string AppendVersionSuffix(const std::string& name, const std::string& version) {
  if (name.empty() || version.empty()) return "";
  return StripVersionSuffix(name) + " V" + version;
}

// ---- Numbers ----

std::int32_t VersionMajorOf(const std::string& version) {
  return IntegerOrDefault(version.substr(0, version.find('.')), -1);
}

std::int32_t VersionMinorOf(const std::string& version) {
  const std::size_t dot = version.find('.');
  if (dot == std::string::npos) return -1;
  return IntegerOrDefault(version.substr(dot + 1), -1);
}
