// The release floor on Windows: a key of the updater's own below
// HKEY_LOCAL_MACHINE\SOFTWARE, in the 32-bit view as the uninstall entry.
// Only administrators may make keys there; the key is made with an access
// list that lets administrators and SYSTEM write and everyone else read.
#include "platform/release_floor.h"

#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <cstdint>

#include "platform/system_failure.h"
#include "platform/win32/wide_text.h"

namespace {

constexpr wchar_t kFloorKeys[] = L"SOFTWARE\\Quennvoldar\\Releases\\";
constexpr REGSAM kProductView = KEY_WOW64_32KEY;
// Protected, inherited by subkeys: full control for administrators and
// SYSTEM, reading for users.
constexpr wchar_t kFloorAccessList[] = L"D:P(A;CIOI;KA;;;BA)(A;CIOI;KA;;;SY)(A;CIOI;KR;;;BU)";

class FloorKey {
 public:
  FloorKey() = default;
  ~FloorKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  FloorKey(const FloorKey&) = delete;
  FloorKey& operator=(const FloorKey&) = delete;
  HKEY* Receive() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

StoredFloor FailedAt(long error, const std::string& action, const std::string& product) {
  return {FloorAccess::Failed, 0, SystemFailure(error, action, ReleaseFloorPlace(product))};
}

// Opened for writing, made when missing: a key that cannot be written
// keeps no floor.
StoredFloor OpenFloorKey(const std::string& product, FloorKey& key) {
  const std::wstring path = kFloorKeys + Widen(product);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kFloorAccessList, SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return FailedAt(static_cast<long>(GetLastError()), "make access list for", product);
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  const LSTATUS status = RegCreateKeyExW(
      HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
      KEY_QUERY_VALUE | KEY_SET_VALUE | kProductView, &attributes, key.Receive(), nullptr);
  LocalFree(descriptor);
  if (status != ERROR_SUCCESS) return FailedAt(status, "open key", product);
  return {FloorAccess::Ready, 0, {}};
}

}  // namespace

StoredFloor ReadReleaseFloor(const std::string& product, const std::string& slot) {
  FloorKey key;
  if (StoredFloor opened = OpenFloorKey(product, key); opened.access != FloorAccess::Ready) {
    return opened;
  }
  DWORD type = 0;
  ULONGLONG value = 0;
  DWORD bytes = sizeof value;
  const LSTATUS status = RegQueryValueExW(key.get(), Widen(slot).c_str(), nullptr, &type,
                                          reinterpret_cast<BYTE*>(&value), &bytes);
  if (status == ERROR_FILE_NOT_FOUND) return {FloorAccess::Ready, 0, {}};
  if (status != ERROR_SUCCESS) return FailedAt(status, "read value " + slot + " of", product);
  // A value that cannot be read as a number lets no release pass.
  if (type != REG_QWORD || bytes != sizeof value || value > static_cast<ULONGLONG>(INT64_MAX)) {
    return {FloorAccess::Failed,
            0,
            {FailureKind::Damaged, FailureCode::None, 0, "read", ReleaseFloorPlace(product),
             "the value " + slot + " is no number"}};
  }
  return {FloorAccess::Ready, static_cast<std::int64_t>(value), {}};
}

StoredFloor WriteReleaseFloor(const std::string& product, const std::string& slot,
                              std::int64_t release) {
  FloorKey key;
  if (StoredFloor opened = OpenFloorKey(product, key); opened.access != FloorAccess::Ready) {
    return opened;
  }
  const auto value = static_cast<ULONGLONG>(release);
  const LSTATUS status = RegSetValueExW(key.get(), Widen(slot).c_str(), 0, REG_QWORD,
                                        reinterpret_cast<const BYTE*>(&value), sizeof value);
  if (status != ERROR_SUCCESS) return FailedAt(status, "write value " + slot + " of", product);
  return {FloorAccess::Ready, release, {}};
}

std::string ReleaseFloorPlace(const std::string& product) {
  return "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quennvoldar\\Releases\\" + product;
}
