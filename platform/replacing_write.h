// The one way the updater writes a whole file: beside its target, flushed,
// then in the target's place in one step. A write that fails (a full disk, a
// kill) leaves the old file byte for byte.
#pragma once

#include <string>
#include <string_view>

bool WriteFileReplacing(const std::string& path, std::string_view bytes);

// A name of its own beside the target, short and independent of the target's
// name, so that it stays within every file system's name limit.
std::string TemporaryNameBeside(const std::string& path);
