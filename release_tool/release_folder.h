// A release folder as the vendor signs it: every file below it but its own
// manifest, described by path, size and SHA-256.
#pragma once

#include <string>
#include <vector>

#include "trust/release_manifest.h"

// The folder with a trailing separator. What keeps it from being signed as
// it is goes to `problems`, one line a file: a name no manifest may hold,
// names that are one on Windows, a link (never followed), a file that cannot
// be read. Nothing is opened whose name does not pass.
ReleaseManifest DescribeFolder(const std::string& folder, std::vector<std::string>& problems);

// What differs between the folder and the manifest, one line per file;
// empty when they agree.
std::vector<std::string> CompareFolder(const std::string& folder, const ReleaseManifest& manifest);
