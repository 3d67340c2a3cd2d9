// The one way the updater writes a whole file: beside its target, flushed,
// then in the target's place in one step. A write that fails (a full disk, a
// kill) leaves the old file byte for byte.
#pragma once

#include <string>
#include <string_view>

bool WriteFileReplacing(const std::string& path, std::string_view bytes);
// Puts a complete file in the path's place in one step; from another volume
// it is copied beside the path first and flushed, then the source goes.
bool MoveFileReplacing(const std::string& source, const std::string& path);

// A name of its own beside the target, short and independent of the target's
// name, so that it stays within every file system's name limit.
std::string TemporaryNameBeside(const std::string& path);
