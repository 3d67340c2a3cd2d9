// The uninstall entry outside Windows: one small file per key.
//
//   $QUENNVOLDAR_REGISTRY_DIR/<product>_is1.key
//   (default folder /var/lib/quennvoldar/registry)
//
// In the file name, every byte of the product name other than an ASCII
// letter or digit, the blank, ".", "_" and "-" is written "%XX" (upper-case
// hexadecimal), so "Foo/Bar" becomes "Foo%2FBar_is1.key".
//
// The file is UTF-8 text with one value per line:
//
//   name=type:value
//
// where type is "sz" for a text or "dword" for a 32-bit integer written in
// decimal, for example "DisplayVersion=sz:1.44" or "MajorVersion=dword:1".
// The name ends at the first "="; names compare without regard to letter
// case, as the registry's do. Other lines are kept as they are. A text value
// holds no line break.
//
// The updater never creates the folder or the file; a value it writes is
// created when missing, as the registry does. A write puts a complete new
// file in place of the old one (temporary file, rename), with the old file's
// permission bits.
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "base/strings.h"
#include "platform/locale.h"
#include "platform/posix/registry_folder.h"
#include "platform/registry.h"

namespace {

// ---- Where a key lives ----

bool KeepsInFileName(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' ||
         c == '.' || c == '_' || c == '-';
}

std::string EscapedFileName(const std::string& productName) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string name;
  for (const char c : productName) {
    const auto byte = static_cast<unsigned char>(c);
    if (KeepsInFileName(byte)) {
      name += c;
    } else {
      name += '%';
      name += kHex[byte >> 4];
      name += kHex[byte & 15];
    }
  }
  return name + "_is1.key";
}

// ---- One value line ----

struct ValueLine {
  std::string name;
  std::string type;
  std::string data;
};

std::optional<ValueLine> ParseLine(const std::string& line) {
  const std::size_t equals = line.find('=');
  if (equals == std::string::npos) return std::nullopt;
  const std::size_t colon = line.find(':', equals + 1);
  if (colon == std::string::npos) return std::nullopt;
  return ValueLine{line.substr(0, equals), line.substr(equals + 1, colon - equals - 1),
                   line.substr(colon + 1)};
}

// ---- The key ----

class FileKey final : public UninstallKey {
 public:
  FileKey(std::string path, std::vector<std::string> lines)
      : path_(std::move(path)), lines_(std::move(lines)) {}

  bool HasValue(const std::string& name) override { return Find(name) != kNone; }

  std::optional<std::string> ReadText(const std::string& name) override {
    const std::optional<ValueLine> value = Value(name);
    if (!value || value->type != "sz") return std::nullopt;
    return value->data;
  }

  std::optional<std::int32_t> ReadInteger(const std::string& name) override {
    const std::optional<ValueLine> value = Value(name);
    if (!value || value->type != "dword") return std::nullopt;
    std::int32_t number = 0;
    const char* end = value->data.data() + value->data.size();
    const auto [stop, error] = std::from_chars(value->data.data(), end, number);
    if (error != std::errc() || stop != end) return std::nullopt;
    return number;
  }

  bool WriteText(const std::string& name, const std::string& value) override {
    if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return false;
    return Write(name, "sz", value);
  }

  bool WriteInteger(const std::string& name, std::int32_t value) override {
    return Write(name, "dword", std::to_string(value));
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  std::size_t Find(const std::string& name) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      const std::optional<ValueLine> value = ParseLine(lines_[i]);
      if (value && SameText(value->name, name)) return i;
    }
    return kNone;
  }

  std::optional<ValueLine> Value(const std::string& name) const {
    const std::size_t index = Find(name);
    return index == kNone ? std::nullopt : ParseLine(lines_[index]);
  }

  // An existing value keeps the name as the file spells it; a new one is
  // added at the end.
  bool Write(const std::string& name, const std::string& type, const std::string& data) {
    const std::vector<std::string> previous = lines_;
    const std::size_t index = Find(name);
    if (index == kNone) {
      lines_.push_back(name + "=" + type + ":" + data);
    } else {
      lines_[index] = ParseLine(lines_[index])->name + "=" + type + ":" + data;
    }
    if (Save()) return true;
    lines_ = previous;
    return false;
  }

  // A complete new file takes the old one's place, so a failure part way
  // never leaves the key half-written.
  bool Save() const {
    struct stat info {};
    if (stat(path_.c_str(), &info) != 0) return false;
    std::string temporary = path_ + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) return false;
    std::string text;
    for (const std::string& line : lines_) text += line + "\n";
    bool written = fchmod(fd, info.st_mode & 07777) == 0;
    for (std::size_t done = 0; written && done < text.size();) {
      const ssize_t count = write(fd, text.data() + done, text.size() - done);
      written = count > 0;
      if (written) done += static_cast<std::size_t>(count);
    }
    written = fsync(fd) == 0 && written;
    written = close(fd) == 0 && written;
    if (written && rename(temporary.c_str(), path_.c_str()) == 0) return true;
    unlink(temporary.c_str());
    return false;
  }

  std::string path_;
  std::vector<std::string> lines_;
};

std::optional<std::vector<std::string>> ReadLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  if (in.bad()) return std::nullopt;
  return lines;
}

}  // namespace

std::string RegistryFolder() {
  constexpr const char* kDefaultFolder = "/var/lib/quennvoldar/registry";
  const char* folder = std::getenv("QUENNVOLDAR_REGISTRY_DIR");
  std::string path = folder != nullptr && *folder != '\0' ? folder : kDefaultFolder;
  if (path.back() != '/') path += '/';
  return path;
}

std::unique_ptr<UninstallKey> OpenUninstallKey(const std::string& productName) {
  const std::string folder = RegistryFolder();
  const std::string path = folder + EscapedFileName(productName);
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  // Opened for reading and writing, or not at all; writing renames in the folder.
  if (access(path.c_str(), R_OK | W_OK) != 0 || access(folder.c_str(), W_OK) != 0) return nullptr;
  std::optional<std::vector<std::string>> lines = ReadLines(path);
  if (!lines) return nullptr;
  return std::make_unique<FileKey>(path, std::move(*lines));
}
