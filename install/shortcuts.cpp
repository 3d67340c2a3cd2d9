// Internet shortcuts of the all-users programs folder that still point at the
// vendor's home page through one of the two legacy plain-text addresses get
// the encrypted address. Every failure here is silent.
#include "base/strings.h"
#include "deployment.h"
#include "install/install.h"
#include "platform/file_system.h"
#include "platform/list_file.h"
#include "platform/locale.h"
#include "platform/paths.h"
#include "platform/system_info.h"

namespace install {

namespace {

// The target lines, built from the host of the vendor home page.
struct TargetLines {
  std::string legacyRedirect;  // looked for first
  std::string legacyPlain;
  std::string replacement;
};

// "https://host/path" -> "host" (without user, port or path).
std::string HostOf(const std::string& address) {
  const std::size_t scheme = address.find("://");
  std::string host = scheme == std::string::npos ? address : address.substr(scheme + 3);
  host = host.substr(0, host.find_first_of("/?#"));
  if (const std::size_t at = host.rfind('@'); at != std::string::npos) host.erase(0, at + 1);
  return host.substr(0, host.find(':'));
}

TargetLines VendorTargetLines() {
  const std::string host = HostOf(kHomePage);
  return {"URL=http://" + host + ".tf", "URL=http://" + host, "URL=https://" + host};
}

bool IsShortcutName(const std::string& name) {
  constexpr std::size_t kExtensionLength = 4;
  return name.size() >= kExtensionLength &&
         SameText(std::string_view(name).substr(name.size() - kExtensionLength), ".url");
}

// The first line equal to the form as a whole, in any letter case.
std::vector<std::string>::iterator FindLine(std::vector<std::string>& lines,
                                            const std::string& form) {
  for (auto line = lines.begin(); line != lines.end(); ++line) {
    if (SameText(*line, form)) return line;
  }
  return lines.end();
}

// ---- Walking ----

void RewriteUrlFiles(const std::string& folder, const TargetLines& targets) {
  for (const DirEntry& entry : ListDirectory(folder)) {
    if (entry.isDirectory || !IsShortcutName(entry.name)) continue;
    const std::string file = folder + entry.name;
    std::optional<ListFile> shortcut = ReadListFile(file);
    if (!shortcut) continue;
    auto line = FindLine(shortcut->lines, targets.legacyRedirect);
    if (line == shortcut->lines.end()) line = FindLine(shortcut->lines, targets.legacyPlain);
    if (line == shortcut->lines.end()) continue;
    *line = targets.replacement;
    // A read-only or hidden shortcut becomes a plain file; a final failure
    // leaves it as it was.
    if (FileExists(file)) ClearFileAttributes(file);
    SaveListFile(file, *shortcut);
  }
}

// The shortcuts of a folder before those of its subfolders, depth first.
void RewriteShortcutsInFolder(const std::string& folder, const TargetLines& targets) {
  RewriteUrlFiles(folder, targets);
  for (const DirEntry& entry : ListDirectory(folder)) {
    if (entry.isDirectory) RewriteShortcutsInFolder(folder + entry.name + kPathDelim, targets);
  }
}

}  // namespace

void RewriteShortcuts() {
  const std::string folder = AllUsersProgramsFolder();
  // Without the folder the walk would start in the current folder.
  if (folder.empty()) return;
  RewriteShortcutsInFolder(folder, VendorTargetLines());
}

}  // namespace install
