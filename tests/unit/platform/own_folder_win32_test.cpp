// The updater's own folders on Windows, elevated: the access list for
// administrators and SYSTEM only, read back as the system keeps it, and a
// folder found without it emptied.
#include <windows.h>

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <filesystem>
#include <string>

#include "../support/temp_folder.h"
#include "platform/file_system.h"
#include "platform/own_folder.h"
#include "platform/win32/wide_text.h"

namespace {

constexpr char kAdministratorsOnly[] = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

// Owner and access list of the folder in SDDL; empty when unreadable.
std::string AccessList(const std::string& folder) {
  constexpr SECURITY_INFORMATION kWhat = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(WidePath(folder).c_str(), SE_FILE_OBJECT, kWhat, nullptr, nullptr,
                            nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return {};
  }
  LPWSTR text = nullptr;
  std::string list;
  if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, kWhat,
                                                           &text, nullptr)) {
    list = Narrow(text);
    LocalFree(text);
  }
  LocalFree(descriptor);
  return list;
}

// A folder made directly with the list, for what the system makes of it.
std::string ReferenceFolder(const TempFolder& temp) {
  const std::string folder = temp.Path() + "Referenz";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
          Widen(kAdministratorsOnly).c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    return {};
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  CreateDirectoryW(WidePath(folder).c_str(), &attributes);
  LocalFree(descriptor);
  return folder;
}

}  // namespace

// Wine keeps no access lists; it turns them into the owner's mode bits and
// reads back what those allow. The list is compared with what the system
// makes of it when a folder is made with it directly.
TEST(OwnFolderWin32, ANewFolderGetsTheListForAdministratorsAndSystemOnly) {
  const TempFolder temp;
  const std::string folder = temp.Path() + "Produkt\\Daten\\";

  ASSERT_EQ(PrepareOwnFolder(folder), OwnFolder::Ready);

  EXPECT_EQ(AccessList(folder), AccessList(ReferenceFolder(temp)));
  EXPECT_NE(AccessList(folder), AccessList(temp.Path() + "Produkt")) << "no list of its own";
}

TEST(OwnFolderWin32, AFolderFoundWithoutTheListIsEmptiedAndGivenIt) {
  const TempFolder temp;
  if (AccessList(ReferenceFolder(temp)) != kAdministratorsOnly) {
    GTEST_SKIP() << "the file system keeps no access lists";
  }
  temp.Write("Produkt/Daten/main.exe", "planted");
  temp.Write("Produkt/Daten/Ordner/b.txt", "planted");
  const std::string folder = temp.Path() + "Produkt\\Daten\\";
  ASSERT_TRUE(SetReadOnly(folder + "main.exe"));

  ASSERT_EQ(PrepareOwnFolder(folder), OwnFolder::Ready);

  EXPECT_EQ(AccessList(folder), kAdministratorsOnly);
  EXPECT_TRUE(ListDirectory(folder).empty());
}

TEST(OwnFolderWin32, AFolderWithTheListKeepsWhatItHolds) {
  const TempFolder temp;
  const std::string folder = temp.Path() + "Produkt\\Daten\\";
  ASSERT_EQ(PrepareOwnFolder(folder), OwnFolder::Ready);
  temp.Write("Produkt/Daten/wartet.txt", "waiting");

  ASSERT_EQ(PrepareOwnFolder(folder), OwnFolder::Ready);

  EXPECT_EQ(temp.Read("Produkt/Daten/wartet.txt"), "waiting");
}

// A download moved out of the own folder into the installation does not keep
// the list for administrators only: it takes what its new folder passes on,
// as a file made there does, and is marked for the next backup as a copy is.
TEST(OwnFolderWin32, AFileMovedOutTakesWhatItsNewFolderPassesOn) {
  const TempFolder temp;
  const std::string folder = temp.Path() + "Produkt\\Daten\\";
  ASSERT_EQ(PrepareOwnFolder(folder), OwnFolder::Ready);
  temp.Write("Produkt/Daten/neu.txt", "neu");
  temp.Write("Ziel/gemacht.txt", "neu");
  const std::string made = temp.Path() + "Ziel\\gemacht.txt";
  if (AccessList(ReferenceFolder(temp)) == kAdministratorsOnly) {
    EXPECT_NE(AccessList(folder + "neu.txt"), AccessList(made)) << "inherited the own list";
  }

  // The installation clears a download's attributes before it is staged.
  ASSERT_TRUE(SetFileAttributesW(WidePath(folder + "neu.txt").c_str(), FILE_ATTRIBUTE_NORMAL));

  ASSERT_TRUE(MoveFileWithin(folder + "neu.txt", temp.Path() + "Ziel\\neu.txt"));

  EXPECT_EQ(AccessList(temp.Path() + "Ziel\\neu.txt"), AccessList(made));
  EXPECT_TRUE(GetFileAttributesW(WidePath(temp.Path() + "Ziel\\neu.txt").c_str()) &
              FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(temp.Read("Ziel/neu.txt"), "neu");
}
