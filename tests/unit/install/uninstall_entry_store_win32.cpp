// The Windows port's uninstall entry: the key
// HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<product>_is1
// in the 32-bit registry view, where the product's setup writes it whatever
// the build's architecture, with REG_SZ and REG_DWORD values.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

#include "uninstall_entry_store.h"

namespace {

constexpr wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr REGSAM kProductView = KEY_WOW64_32KEY;

// ---- Text ----

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size,
                      nullptr, nullptr);
  return utf8;
}

// ---- One value ----

void SetValue(HKEY key, const std::string& name, const std::string& typedValue) {
  const std::size_t colon = typedValue.find(':');
  const std::string type = typedValue.substr(0, colon);
  const std::string data = typedValue.substr(colon + 1);
  LSTATUS status;
  if (type == "dword") {
    const auto value = static_cast<DWORD>(std::stol(data));
    status = RegSetValueExW(key, Wide(name).c_str(), 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&value), sizeof value);
  } else if (type == "sz") {
    const std::wstring text = Wide(data);
    status = RegSetValueExW(key, Wide(name).c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  } else {
    throw std::invalid_argument("unknown value type in " + typedValue);
  }
  if (status != ERROR_SUCCESS) throw std::runtime_error("cannot set " + name);
}

std::string TypedValue(DWORD type, const std::vector<BYTE>& data, DWORD bytes) {
  if (type == REG_DWORD && bytes == sizeof(DWORD)) {
    DWORD value;
    std::memcpy(&value, data.data(), sizeof value);
    return "dword:" + std::to_string(static_cast<std::int32_t>(value));
  }
  if (type == REG_SZ) {
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), bytes / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return "sz:" + Utf8(text);
  }
  return "type" + std::to_string(type) + ":";
}

}  // namespace

struct UninstallEntryStore::Impl {
  std::wstring keyPath;
  HKEY watchedKey = nullptr;
  HANDLE changed = nullptr;
};

// ---- Entry ----

UninstallEntryStore::UninstallEntryStore(const std::string&)
    : product_("Foo Bar " + std::to_string(std::random_device{}())),
      impl_(std::make_unique<Impl>()) {
  impl_->keyPath = kUninstall + Wide(product_) + L"_is1";
}

UninstallEntryStore::~UninstallEntryStore() {
  if (impl_->watchedKey != nullptr) RegCloseKey(impl_->watchedKey);
  if (impl_->changed != nullptr) CloseHandle(impl_->changed);
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, impl_->keyPath.c_str(), kProductView, 0);
}

void UninstallEntryStore::Write(const EntryValues& values) {
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, impl_->keyPath.c_str(), kProductView, 0);
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, impl_->keyPath.c_str(), 0, nullptr, 0,
                      KEY_SET_VALUE | kProductView, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot create the uninstall entry");
  }
  try {
    for (const auto& [name, value] : values) SetValue(key, name, value);
  } catch (...) {
    RegCloseKey(key);
    throw;
  }
  RegCloseKey(key);
}

std::optional<EntryValues> UninstallEntryStore::Read() const {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, impl_->keyPath.c_str(), 0, KEY_QUERY_VALUE | kProductView,
                    &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  EntryValues values;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameLength = 256;
    DWORD type = 0;
    std::vector<BYTE> data(4096);
    auto bytes = static_cast<DWORD>(data.size());
    if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data.data(), &bytes) !=
        ERROR_SUCCESS) {
      break;
    }
    values[Utf8(std::wstring(name, nameLength))] = TypedValue(type, data, bytes);
  }
  RegCloseKey(key);
  return values;
}

// ---- Watching ----

// Windows reports every value set, even one that stores what was there;
// Wine skips storing an unchanged value, so it reports only real changes.
void UninstallEntryStore::StartWatching() {
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, impl_->keyPath.c_str(), 0, KEY_NOTIFY | kProductView,
                    &impl_->watchedKey) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot watch the uninstall entry");
  }
  impl_->changed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (RegNotifyChangeKeyValue(impl_->watchedKey, FALSE, REG_NOTIFY_CHANGE_LAST_SET, impl_->changed,
                              TRUE) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot watch the uninstall entry");
  }
}

bool UninstallEntryStore::WrittenSinceWatching() const {
  return WaitForSingleObject(impl_->changed, 0) == WAIT_OBJECT_0;
}
