#include "release_tool/release_folder.h"

#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/sha256.h"
#include "resources/texts.h"

namespace {

void Collect(const std::string& folder, const std::string& relative, ReleaseManifest& manifest,
             std::vector<std::string>& unreadable) {
  for (const DirEntry& entry : ListDirectory(folder + NativeSeparators(relative))) {
    const std::string path = relative + entry.name;
    if (entry.isDirectory) {
      Collect(folder, path + "/", manifest, unreadable);
      continue;
    }
    if (path == kReleaseManifestName) continue;
    const std::string local = folder + NativeSeparators(path);
    const std::optional<std::string> digest = Sha256OfFile(local);
    if (!digest) {
      unreadable.push_back(local);
      continue;
    }
    manifest.files[path] = {GetFileSizeByName(local), *digest};
  }
}

}  // namespace

ReleaseManifest DescribeFolder(const std::string& folder, std::vector<std::string>& unreadable) {
  ReleaseManifest manifest;
  Collect(folder, "", manifest, unreadable);
  return manifest;
}

std::vector<std::string> CompareFolder(const std::string& folder, const ReleaseManifest& manifest) {
  std::vector<std::string> problems;
  std::vector<std::string> unreadable;
  const ReleaseManifest found = DescribeFolder(folder, unreadable);
  for (const std::string& path : unreadable) problems.push_back("unreadable: " + path);
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
