#include "release_tool/release_folder.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/locale.h"
#include "platform/paths.h"
#include "platform/sha256.h"
#include "resources/texts.h"

namespace {

constexpr const char* kNameRule =
    "a name no release may hold (a control character, ':' or '\\', a name ending in '.' or "
    "blank, a Windows device name, over 255 bytes a name or 1024 the path): ";

// Control characters shown as \xNN, so that a name cannot break the line
// that names it.
std::string Printable(const std::string& path) {
  std::string text;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) {
      text += c;
      continue;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    text += escaped;
  }
  return text;
}

void Collect(const std::string& folder, const std::string& relative, ReleaseManifest& manifest,
             std::vector<std::string>& problems) {
  std::vector<DirEntry> entries = ListDirectory(folder + NativeSeparators(relative));
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  // Windows keeps one of two names that differ only in letter case; at the
  // top, the manifest's name is taken.
  std::map<std::string, std::string> byUpperCase;
  if (relative.empty())
    byUpperCase.emplace(UpperCaseLocale(kReleaseManifestName), kReleaseManifestName);
  for (const DirEntry& entry : entries) {
    const std::string path = relative + entry.name;
    if (!IsReleasablePath(path)) {
      problems.push_back(kNameRule + Printable(path));
      continue;
    }
    if (entry.isLink) {
      problems.push_back("a symbolic link, not followed: " + Printable(path));
      continue;
    }
    if (path == kReleaseManifestName) continue;
    const auto [taken, added] = byUpperCase.emplace(UpperCaseLocale(entry.name), path);
    if (!added) {
      problems.push_back("differs from " + Printable(taken->second) +
                         " only in letter case (one name on Windows): " + Printable(path));
      continue;
    }
    if (entry.isDirectory) {
      Collect(folder, path + "/", manifest, problems);
      continue;
    }
    const std::string local = folder + NativeSeparators(path);
    const std::optional<std::string> digest = Sha256OfFile(local);
    if (!digest) {
      problems.push_back("unreadable: " + Printable(path));
      continue;
    }
    manifest.files[path] = {GetFileSizeByName(local), *digest};
  }
}

}  // namespace

ReleaseManifest DescribeFolder(const std::string& folder, std::vector<std::string>& problems) {
  ReleaseManifest manifest;
  Collect(folder, "", manifest, problems);
  return manifest;
}

std::vector<std::string> CompareFolder(const std::string& folder, const ReleaseManifest& manifest) {
  std::vector<std::string> problems;
  const ReleaseManifest found = DescribeFolder(folder, problems);
  for (const auto& [path, file] : found.files) {
    const auto listed = manifest.files.find(path);
    if (listed == manifest.files.end()) {
      problems.push_back("not in the manifest: " + path);
    } else if (listed->second.size != file.size || listed->second.sha256 != file.sha256) {
      problems.push_back("changed since signing: " + path);
    }
  }
  for (const auto& [path, file] : manifest.files) {
    if (found.files.count(path) == 0) problems.push_back("missing: " + path);
  }
  return problems;
}
