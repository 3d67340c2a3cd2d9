// The updater's own folders on Windows. The temporary folder is the user's,
// and the user's programs that run without elevation may write there while
// the updater installs elevated; its folders therefore get an access list of
// their own that lets only administrators and SYSTEM in.
#include "platform/own_folder.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <memory>

#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/replacing_write.h"
#include "platform/win32/wide_text.h"

namespace {

// Administrators own it (an owner may always change the list); the list is
// protected from the temporary folder's and passed on to all it holds.
constexpr wchar_t kAdministratorsOnly[] = L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};
using SecurityDescriptor = std::unique_ptr<void, LocalFreer>;

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

SecurityDescriptor AdministratorsOnly() {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return nullptr;
  }
  return SecurityDescriptor(descriptor);
}

// Elevated: the Administrators group is enabled in the token, not only
// present for denying.
bool RunsElevated() {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof sid;
  BOOL member = FALSE;
  return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) &&
         CheckTokenMembership(nullptr, sid, &member) && member;
}

// Not through a link, and without delete sharing, so that nobody can put
// another folder in its place while it is held.
Handle OpenFolderItself(const std::wstring& path) {
  const HANDLE handle = CreateFileW(
      path.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// The same allowing entries, in the same order.
bool SameAces(PACL found, PACL wanted) {
  if (found->AceCount != wanted->AceCount) return false;
  for (DWORD i = 0; i < wanted->AceCount; ++i) {
    void* foundAce = nullptr;
    void* wantedAce = nullptr;
    if (!GetAce(found, i, &foundAce) || !GetAce(wanted, i, &wantedAce)) return false;
    auto* a = static_cast<ACCESS_ALLOWED_ACE*>(foundAce);
    auto* b = static_cast<ACCESS_ALLOWED_ACE*>(wantedAce);
    if (a->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || a->Header.AceType != b->Header.AceType ||
        a->Header.AceFlags != b->Header.AceFlags || a->Mask != b->Mask ||
        !EqualSid(&a->SidStart, &b->SidStart)) {
      return false;
    }
  }
  return true;
}

bool HasList(HANDLE folder, PSECURITY_DESCRIPTOR wanted) {
  PSID owner = nullptr;
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR found = nullptr;
  if (GetSecurityInfo(folder, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                      &list, nullptr, &found) != ERROR_SUCCESS) {
    return false;
  }
  const SecurityDescriptor held(found);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  PSID wantedOwner = nullptr;
  PACL wantedList = nullptr;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  return owner != nullptr && list != nullptr &&
         GetSecurityDescriptorControl(found, &control, &revision) &&
         (control & SE_DACL_PROTECTED) != 0 &&
         GetSecurityDescriptorOwner(wanted, &wantedOwner, &defaulted) &&
         GetSecurityDescriptorDacl(wanted, &present, &wantedList, &defaulted) &&
         EqualSid(owner, wantedOwner) && SameAces(list, wantedList);
}

bool GiveList(HANDLE folder, PSECURITY_DESCRIPTOR wanted) {
  PSID owner = nullptr;
  PACL list = nullptr;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  return GetSecurityDescriptorOwner(wanted, &owner, &defaulted) &&
         GetSecurityDescriptorDacl(wanted, &present, &list, &defaulted) &&
         SetSecurityInfo(folder, SE_FILE_OBJECT,
                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                             PROTECTED_DACL_SECURITY_INFORMATION,
                         owner, nullptr, list, nullptr) == ERROR_SUCCESS;
}

bool CreateWithList(const std::wstring& path, PSECURITY_DESCRIPTOR wanted) {
  SECURITY_ATTRIBUTES attributes{sizeof attributes, wanted, FALSE};
  return CreateDirectoryW(path.c_str(), &attributes) != FALSE;
}

// FAT keeps no access lists, and Wine turns them into the owner's mode bits:
// a folder made there with the list reads back without it. Made under a name
// of its own, nobody else can have touched it.
bool KeepsAccessLists(const std::string& besideOf, PSECURITY_DESCRIPTOR wanted) {
  const std::wstring probe = WidePath(TemporaryNameBeside(besideOf));
  if (!CreateWithList(probe, wanted)) return true;  // unknown: nothing found is trusted
  bool kept = false;
  if (const Handle handle = OpenFolderItself(probe)) kept = HasList(handle.get(), wanted);
  RemoveDirectoryW(probe.c_str());
  return kept;
}

// Everything inside goes; a linked folder is removed as a link, never
// entered.
bool EmptyFolder(const std::string& folder) {
  for (const DirEntry& entry : ListDirectory(folder)) {
    const std::string path = IncludeTrailingDelimiter(folder) + entry.name;
    const std::wstring wide = WidePath(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!isLink && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    if (isFolder && !isLink && !EmptyFolder(path)) return false;
    if (!(isFolder ? RemoveDirectoryW(wide.c_str()) : DeleteFileW(wide.c_str()))) return false;
  }
  return true;
}

}  // namespace

OwnFolder PrepareOwnFolder(const std::string& folder) {
  // Without elevation (the user chose to go on without administrator rights)
  // the updater has the same rights as the user's other programs, and a list
  // for administrators only would lock it out: the folder is made as before.
  if (!RunsElevated()) return ForceDirectories(folder) ? OwnFolder::Ready : OwnFolder::Failed;
  std::string path = folder;
  while (!path.empty() && IsPathSeparator(path.back())) path.pop_back();
  const std::size_t separator = path.find_last_of("\\/");
  if (separator == std::string::npos || !ForceDirectories(path.substr(0, separator + 1))) {
    return OwnFolder::Failed;
  }
  const SecurityDescriptor wanted = AdministratorsOnly();
  if (!wanted) return OwnFolder::Failed;
  const std::wstring wide = WidePath(path);
  if (CreateWithList(wide, wanted.get())) return OwnFolder::Ready;
  if (GetLastError() != ERROR_ALREADY_EXISTS) return OwnFolder::Failed;
  // Held while it is looked at and given its list.
  const Handle handle = OpenFolderItself(wide);
  if (!handle) return OwnFolder::Failed;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return OwnFolder::Failed;
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return OwnFolder::NotOwn;
  // Where no list can be kept, none protects the folder: it is used as before.
  if (HasList(handle.get(), wanted.get()) || !KeepsAccessLists(path, wanted.get())) {
    return OwnFolder::Ready;
  }
  // Found without the list: whatever it holds may come from anyone, and
  // goes once nobody else can add to it.
  if (!GiveList(handle.get(), wanted.get())) return OwnFolder::Failed;
  return EmptyFolder(path) ? OwnFolder::Ready : OwnFolder::NotOwn;
}

bool IsOwnFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}
