// Reads the version resource of a Windows executable from its bytes, on any
// platform. Every offset in the file is checked, so damaged or hostile files
// give an empty answer rather than a crash.
#pragma once

#include <string>
#include <string_view>

// The value stored under key (ASCII letters compared without case) in the
// string table of the first VarFileInfo\Translation entry, as UTF-8 without
// the terminating NUL. Empty when the file is no PE image (32- or 64-bit), has
// no version resource or translation, or the table lacks the key.
std::string ReadVersionString(std::string_view peBytes, std::string_view key);
