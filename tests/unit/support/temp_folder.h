// A fresh folder that stands in for the user's temporary folder during one
// test, removed with everything in it afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("qv-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
    const char* old = std::getenv(kVariable);
    if (old != nullptr) saved_ = old;
    hadValue_ = old != nullptr;
    SetVariable(path_.string());
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
  std::string Path() const { return (path_ / "").string(); }

  void Write(const std::string& relative, const std::string& bytes) const {
    const std::filesystem::path file = path_ / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(path_ / relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& relative) const {
    return std::filesystem::exists(path_ / relative);
  }

 private:
#ifdef _WIN32
  static constexpr const char* kVariable = "TMP";
  static void SetVariable(const std::string& value) { _putenv_s(kVariable, value.c_str()); }
  static void UnsetVariable() { _putenv_s(kVariable, ""); }
#else
  static constexpr const char* kVariable = "TMPDIR";
  static void SetVariable(const std::string& value) { setenv(kVariable, value.c_str(), 1); }
  static void UnsetVariable() { unsetenv(kVariable); }
#endif
  std::filesystem::path path_;
  std::string saved_;
  bool hadValue_ = false;
};
