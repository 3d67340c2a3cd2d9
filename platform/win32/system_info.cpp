// What the discovery phase asks of Windows: membership in the
// Administrators group, the logon name, the internet state, shell folders.
#include "platform/system_info.h"

#include <windows.h>

#include <shlobj.h>
#include <wininet.h>

#include "platform/win32/wide_text.h"

// ---- Helpers ----

namespace {

// The thread's token when it impersonates, else the process's.
HANDLE OpenQueryToken() {
  HANDLE token = nullptr;
  if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return token;
  if (GetLastError() != ERROR_NO_TOKEN) return nullptr;
  return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) ? token : nullptr;
}

// Closes the token on every way out.
class TokenHandle {
 public:
  explicit TokenHandle(HANDLE handle) : handle_(handle) {}
  ~TokenHandle() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  TokenHandle(const TokenHandle&) = delete;
  TokenHandle& operator=(const TokenHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// A group list larger than this counts as no administrator.
constexpr DWORD kGroupBufferBytes = 1024;

}  // namespace

// ---- Users ----

// Only the group's SID is compared, not its attributes: an administrator
// without elevation, whose group is deny-only, passes too.
bool IsUserAdmin(const std::string& /*installFolder*/) {
  alignas(TOKEN_GROUPS) unsigned char buffer[kGroupBufferBytes];
  DWORD returned = 0;
  {
    const TokenHandle token(OpenQueryToken());
    if (token.get() == nullptr ||
        !GetTokenInformation(token.get(), TokenGroups, buffer, kGroupBufferBytes, &returned)) {
      return false;
    }
  }
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators)) {
    return false;
  }
  const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer);
  bool member = false;
  for (DWORD i = 0; i < groups->GroupCount && !member; ++i) {
    member = EqualSid(groups->Groups[i].Sid, administrators) != FALSE;
  }
  FreeSid(administrators);
  return member;
}

std::string GetCurrentUserName() {
  wchar_t name[MAX_PATH + 1];
  DWORD length = MAX_PATH + 1;
  if (!GetUserNameW(name, &length)) return std::string();
  return Narrow(name);
}

// ---- Network ----

// Only the system's yes or no counts; the connection kinds reported back
// are not looked at.
bool IsInternetConnected() {
  DWORD kinds = INTERNET_CONNECTION_MODEM | INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_PROXY;
  return InternetGetConnectedState(&kinds, 0) != FALSE;
}

// ---- Special folders ----

std::string AllUsersProgramsFolder() {
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_COMMON_PROGRAMS, &items)) ||
      items == nullptr)
    return "";
  std::string path;
  wchar_t buffer[MAX_PATH];
  if (SHGetPathFromIDListW(items, buffer) && buffer[0] != L'\0') {
    path = Narrow(buffer);
    if (path.back() != '\\') path += '\\';
  }
  IMalloc* allocator = nullptr;
  if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator != nullptr) {
    allocator->Free(items);
    allocator->Release();
  }
  return path;
}
