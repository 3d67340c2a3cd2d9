// The product's uninstall entry in HKEY_LOCAL_MACHINE, in the registry view
// of a 32-bit program, which its setup writes: asked for explicitly, so a
// 64-bit build touches the same key. Keys and values are only ever changed,
// never made.
#include "platform/registry.h"

#include <windows.h>

#include <vector>

#include "platform/win32/wide_text.h"

// ---- Key ----

namespace {

constexpr wchar_t kRedirectedUninstall[] =
    L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr REGSAM kProductView = KEY_WOW64_32KEY;

class Win32UninstallKey : public UninstallKey {
 public:
  explicit Win32UninstallKey(HKEY key) : key_(key) {}
  ~Win32UninstallKey() override { RegCloseKey(key_); }
  Win32UninstallKey(const Win32UninstallKey&) = delete;
  Win32UninstallKey& operator=(const Win32UninstallKey&) = delete;

  bool HasValue(const std::string& name) override {
    return RegQueryValueExW(key_, Widen(name).c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
  }

  // Text values only; a value of another type answers nothing.
  std::optional<std::string> ReadText(const std::string& name) override {
    const std::wstring wideName = Widen(name);
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key_, wideName.c_str(), nullptr, &type, nullptr, &bytes) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
      return std::nullopt;
    }
    // One spare character: stored text need not end with a NUL.
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key_, wideName.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(text.data()), &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
      return std::nullopt;
    }
    return Narrow(std::wstring_view(text.data(), wcsnlen(text.data(), bytes / sizeof(wchar_t))));
  }

  std::optional<std::int32_t> ReadInteger(const std::string& name) override {
    DWORD type = 0;
    DWORD value = 0;
    DWORD bytes = sizeof value;
    if (RegQueryValueExW(key_, Widen(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &bytes) != ERROR_SUCCESS ||
        type != REG_DWORD || bytes != sizeof value) {
      return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
  }

  bool WriteText(const std::string& name, const std::string& value) override {
    const std::wstring text = Widen(value);
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key_, Widen(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()), bytes) == ERROR_SUCCESS;
  }

  bool WriteInteger(const std::string& name, std::int32_t value) override {
    const auto stored = static_cast<DWORD>(value);
    return RegSetValueExW(key_, Widen(name).c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&stored), sizeof stored) == ERROR_SUCCESS;
  }

 private:
  HKEY key_;
};

bool KeyExists(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | kProductView, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

}  // namespace

// ---- Opening ----

// The redirected path comes first where it exists. A product name with a
// backslash would name a key below another entry, so it names none.
std::unique_ptr<UninstallKey> OpenUninstallKey(const std::string& productName) {
  if (productName.empty() || productName.find('\\') != std::string::npos) return nullptr;
  const std::wstring entry = Widen(productName) + L"_is1";
  std::wstring path = kRedirectedUninstall + entry;
  if (!KeyExists(path)) path = kUninstall + entry;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WRITE | kProductView,
                    &key) != ERROR_SUCCESS) {
    return nullptr;
  }
  return std::make_unique<Win32UninstallKey>(key);
}
