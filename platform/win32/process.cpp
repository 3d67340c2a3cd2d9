// Named mutexes of the session namespace, program starts through the shell
// and the own executable path on Windows.
#include "platform/process.h"

#include <windows.h>

#include <shellapi.h>

#include "platform/win32/wide_text.h"

// ---- Named mutex ----

struct NamedMutex::Impl {
  HANDLE handle = nullptr;
  bool alreadyExisted = false;
};

NamedMutex NamedMutex::Create(const std::string& name) {
  NamedMutex mutex;
  mutex.impl_ = std::make_unique<Impl>();
  const std::wstring wide = Widen(name);
  SetLastError(ERROR_SUCCESS);
  mutex.impl_->handle = CreateMutexW(nullptr, TRUE, name.empty() ? nullptr : wide.c_str());
  mutex.impl_->alreadyExisted = GetLastError() == ERROR_ALREADY_EXISTS;
  return mutex;
}

NamedMutex::NamedMutex() = default;
NamedMutex::NamedMutex(NamedMutex&&) noexcept = default;

NamedMutex& NamedMutex::operator=(NamedMutex&& other) noexcept {
  if (this != &other) {
    Close();
    impl_ = std::move(other.impl_);
  }
  return *this;
}

NamedMutex::~NamedMutex() { Close(); }

bool NamedMutex::Valid() const { return impl_ && impl_->handle != nullptr; }

bool NamedMutex::AlreadyExisted() const { return impl_ && impl_->alreadyExisted; }

void NamedMutex::Close() {
  if (!impl_) return;
  if (impl_->handle != nullptr) CloseHandle(impl_->handle);
  impl_.reset();
}

// Any error but none means the name is taken, also when the mutex exists but
// may not be opened; a mutex made by this test is closed again at once.
bool MutexExists(const std::string& name) {
  if (name.empty()) return false;
  SetLastError(ERROR_SUCCESS);
  const HANDLE handle = CreateMutexW(nullptr, TRUE, Widen(name).c_str());
  const DWORD error = GetLastError();
  if (handle != nullptr) CloseHandle(handle);
  return error != ERROR_SUCCESS;
}

// ---- Programs ----

bool StartProgram(const std::string& file, const std::string& parameters) {
  // The shell would see text only up to a NUL and might start another
  // program, or open a folder for an empty name.
  for (const std::string* text : {&file, &parameters}) {
    if (text->find('\0') != std::string::npos) return false;
  }
  if (file.empty()) return false;
  const std::wstring wideFile = Widen(file);
  const std::wstring wideParameters = Widen(parameters);
  const HINSTANCE result =
      ShellExecuteW(nullptr, L"open", wideFile.c_str(),
                    parameters.empty() ? nullptr : wideParameters.c_str(), nullptr, SW_SHOWNORMAL);
  // Values up to 32 are error codes.
  return reinterpret_cast<INT_PTR>(result) > 32;
}

std::string GetExecutablePath() {
  constexpr std::size_t kLongestPath = std::size_t{1} << 16;  // beyond any Windows path
  for (std::wstring path(MAX_PATH, L'\0'); path.size() <= kLongestPath;
       path.resize(path.size() * 2)) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::string();
    // A full buffer means the path was cut off.
    if (length < path.size()) return Narrow(std::wstring_view(path.data(), length));
  }
  return std::string();
}
