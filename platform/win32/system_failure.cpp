#include "platform/system_failure.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace {

FailureKind KindOfError(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return FailureKind::DiskFull;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return FailureKind::Access;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return FailureKind::NotFound;
    default:
      return FailureKind::System;
  }
}

// The system's own text in English where it has one, without its line end.
std::string ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  DWORD length = FormatMessageW(flags, nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0) {
    length =
        FormatMessageW(flags, nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  }
  std::wstring wide(text != nullptr ? text : L"", length);
  if (text != nullptr) LocalFree(text);
  while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L'.')) {
    wide.pop_back();
  }
  return Narrow(wide);
}

}  // namespace

Failure SystemFailure(long code, const std::string& action, const std::string& place) {
  const auto error = static_cast<DWORD>(code);
  return {KindOfError(error), FailureCode::System, code, action, place, ErrorText(error)};
}

Failure LastSystemFailure(const std::string& action, const std::string& place) {
  return SystemFailure(static_cast<long>(GetLastError()), action, place);
}

SystemErrorKept::SystemErrorKept() : code_(static_cast<long>(GetLastError())) {}

SystemErrorKept::~SystemErrorKept() { SetLastError(static_cast<DWORD>(code_)); }
