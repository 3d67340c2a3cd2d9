// Reading a small file (a list, a journal) whole.
#pragma once

#include <optional>
#include <string>

// The file's bytes; nullopt when it cannot be opened or read to its end.
std::optional<std::string> ReadWholeFile(const std::string& path);
