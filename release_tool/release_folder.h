// A release folder as the vendor signs it: every file below it but its own
// manifest, described by path, size and SHA-256.
#pragma once

#include <string>
#include <vector>

#include "trust/release_manifest.h"

// The folder with a trailing separator. Files that cannot be read are named
// in `unreadable`.
ReleaseManifest DescribeFolder(const std::string& folder, std::vector<std::string>& unreadable);

// What differs between the folder and the manifest, one line per file;
// empty when they agree.
std::vector<std::string> CompareFolder(const std::string& folder, const ReleaseManifest& manifest);
