// A fresh folder that stands in for the user's temporary folder during one
// test, removed with everything in it afterwards. Names in and out are UTF-8,
// as the port takes them.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "utf8_path.h"

class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("qv-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
    const auto* old = GetVariable();
    if (old != nullptr) saved_ = old;
    hadValue_ = old != nullptr;
    SetVariable(path_.native());
  }
  ~TempFolder() {
    if (hadValue_) {
      SetVariable(saved_);
    } else {
      UnsetVariable();
    }
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder with a trailing separator, as GetTempFolder gives it.
  std::string Path() const { return Utf8Text(path_ / ""); }

  void Write(const std::string& relative, const std::string& bytes) const {
    const std::filesystem::path file = path_ / Utf8Path(relative);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(path_ / Utf8Path(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& relative) const {
    return std::filesystem::exists(path_ / Utf8Path(relative));
  }

 private:
  using NativeText = std::filesystem::path::string_type;
  // Wide on Windows, so that GetTempPathW sees the folder whatever the code page.
#ifdef _WIN32
  static const wchar_t* GetVariable() { return _wgetenv(L"TMP"); }
  static void SetVariable(const NativeText& value) { _wputenv_s(L"TMP", value.c_str()); }
  static void UnsetVariable() { _wputenv_s(L"TMP", L""); }
#else
  static const char* GetVariable() { return std::getenv("TMPDIR"); }
  static void SetVariable(const NativeText& value) { setenv("TMPDIR", value.c_str(), 1); }
  static void UnsetVariable() { unsetenv("TMPDIR"); }
#endif
  std::filesystem::path path_;
  NativeText saved_;
  bool hadValue_ = false;
};
