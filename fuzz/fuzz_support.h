// What the fuzz targets share: a loud failure that libFuzzer records as a
// crash, and a scratch folder for targets that touch real files.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>

#include "base/text_codec.h"

// Aborts with the broken property, so the input is saved as a crash.
[[noreturn]] inline void FuzzFailure(const std::string& what) {
  std::fprintf(stderr, "fuzz property broken: %s\n", what.c_str());
  std::abort();
}

inline void Require(bool holds, const std::string& what) {
  if (!holds) FuzzFailure(what);
}

inline bool IsValidUtf8(std::string_view text) { return SanitizeUtf8(text) == text; }

// A fresh folder under the temporary folder, one per process (fuzz.sh runs
// targets side by side), removed again when the process exits normally.
class ScratchFolder {
 public:
  explicit ScratchFolder(const char* target) {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("qv-fuzz-" + std::string(target) + "-" + std::to_string(random()) +
             std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline const std::filesystem::path& ScratchRoot(const char* target) {
  static const ScratchFolder folder(target);
  return folder.Path();
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}
