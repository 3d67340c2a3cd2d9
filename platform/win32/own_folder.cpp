// The updater's own folders on Windows. The temporary folder is the user's,
// and the user's programs that run without elevation may write there while
// the updater installs elevated; its folders therefore get an access list of
// their own that lets only administrators and SYSTEM in.
#include "platform/own_folder.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <vector>

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

// The entry itself, a link as a link. Without delete sharing nobody can
// rename it, or put another in its place, while the handle is held.
Handle OpenItself(const std::wstring& path, DWORD access, DWORD sharing) {
  const HANDLE handle =
      CreateFileW(path.c_str(), access, sharing, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

bool LooksAt(HANDLE entry, BY_HANDLE_FILE_INFORMATION& info) {
  return GetFileInformationByHandle(entry, &info) != FALSE;
}

bool IsFolder(const BY_HANDLE_FILE_INFORMATION& info) {
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsLink(const BY_HANDLE_FILE_INFORMATION& info) {
  return (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
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
  if (const Handle handle = OpenItself(probe, READ_CONTROL, FILE_SHARE_READ)) {
    kept = HasList(handle.get(), wanted);
  }
  RemoveDirectoryW(probe.c_str());
  return kept;
}

bool RemoveEntry(const std::wstring& path);

// Everything the folder holds goes; a link goes as a link, never entered.
// The names are read through a handle of the folder, which its caller holds
// against being renamed, so no other folder can take its place meanwhile.
bool EmptyFolder(const std::wstring& folder) {
  std::vector<std::wstring> names;
  {
    const Handle listing =
        OpenItself(folder, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_DELETE);
    if (!listing) return false;
    std::vector<LONGLONG> buffer(8192);
    while (GetFileInformationByHandleEx(listing.get(), FileIdBothDirectoryInfo, buffer.data(),
                                        static_cast<DWORD>(buffer.size() * sizeof(LONGLONG)))) {
      auto* entry = reinterpret_cast<const unsigned char*>(buffer.data());
      for (;;) {
        const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(entry);
        const std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
        if (name != L"." && name != L"..") names.push_back(name);
        if (info->NextEntryOffset == 0) break;
        entry += info->NextEntryOffset;
      }
    }
    if (GetLastError() != ERROR_NO_MORE_FILES) return false;
  }
  for (const std::wstring& name : names) {
    if (!RemoveEntry(folder + L'\\' + name)) return false;
  }
  return true;
}

// Held against writing, deleting and renaming by anyone else until it is
// deleted through the handle: nobody can turn a folder into a link while
// what it holds goes. One that someone else is writing is not removed.
bool RemoveEntry(const std::wstring& path) {
  const Handle entry =
      OpenItself(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!entry || !LooksAt(entry.get(), info)) return false;
  if (IsFolder(info) && !IsLink(info) && !EmptyFolder(path)) return false;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    FILE_BASIC_INFO basic{};
    const DWORD kept = info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY;
    basic.FileAttributes = kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(entry.get(), FileBasicInfo, &basic, sizeof basic)) {
      return false;
    }
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  return SetFileInformationByHandle(entry.get(), FileDispositionInfo, &disposition,
                                    sizeof disposition) != FALSE;
}

// The parts of a relative folder path, "." and empty ones left out.
std::vector<std::string> FolderNames(const std::string& relative) {
  std::vector<std::string> names;
  for (std::size_t start = 0; start < relative.size();) {
    std::size_t end = relative.find_first_of("\\/", start);
    if (end == std::string::npos) end = relative.size();
    const std::string name = relative.substr(start, end - start);
    if (!name.empty() && name != ".") names.push_back(name);
    start = end + 1;
  }
  return names;
}

// A folder found in the place of the updater's own.
OwnFolder TakeOver(HANDLE found, const std::string& path, PSECURITY_DESCRIPTOR wanted) {
  // Where no list can be kept, none protects the folder: it is used as before.
  if (HasList(found, wanted) || !KeepsAccessLists(path, wanted)) return OwnFolder::Ready;
  // Found without the list: whatever it holds may come from anyone, and
  // goes once nobody else can add to it.
  if (!GiveList(found, wanted)) return OwnFolder::Failed;
  return EmptyFolder(WidePath(path)) ? OwnFolder::Ready : OwnFolder::NotOwn;
}

}  // namespace

OwnFolder PrepareOwnFolder(const std::string& folder) {
  // Without elevation (the user chose to go on without administrator rights)
  // the updater has the same rights as the user's other programs, and a list
  // for administrators only would lock it out: the folder is made as before.
  if (!RunsElevated()) return ForceDirectories(folder) ? OwnFolder::Ready : OwnFolder::Failed;
  const std::string temp = GetTempFolder();
  if (folder.compare(0, temp.size(), temp) != 0) return OwnFolder::Failed;
  const std::string relative = folder.substr(temp.size());
  const std::vector<std::string> names = FolderNames(relative);
  const SecurityDescriptor wanted = AdministratorsOnly();
  if (names.empty() || !IsContainedRelativePath(relative) || !wanted) return OwnFolder::Failed;
  // Every folder on the way is held, so that the next one is looked for in
  // the folder that was checked. The last one is also held against writing:
  // nobody who opened it before it got its list can turn it into a link.
  std::vector<Handle> held;
  std::string path = temp.substr(0, temp.size() - 1);
  for (const std::string& name : names) {
    path += kPathDelim + name;
    const bool last = held.size() + 1 == names.size();
    const std::wstring wide = WidePath(path);
    if (last ? CreateWithList(wide, wanted.get()) : CreateDirectoryW(wide.c_str(), nullptr)) {
      if (last) return OwnFolder::Ready;
    } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
      return OwnFolder::Failed;
    }
    held.push_back(
        last ? OpenItself(wide, READ_CONTROL | WRITE_DAC | WRITE_OWNER, FILE_SHARE_READ)
             : OpenItself(wide, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!held.back() || !LooksAt(held.back().get(), info) || !IsFolder(info)) {
      return OwnFolder::Failed;
    }
    if (IsLink(info)) return OwnFolder::NotOwn;
  }
  return TakeOver(held.back().get(), path, wanted.get());
}

bool IsOwnFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}
