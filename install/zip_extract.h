// Unpacking one ZIP archive into a folder, entry by entry, straight from the
// archive file into the target files.
#pragma once

#include <string>
#include <vector>

// Extracts every entry of the archive into targetFolder (ending with the
// native separator): folders as named, files with the entry's date, and
// read-only when a DOS-made entry says so. False when the archive cannot be
// read, an entry uses another method than stored or deflate, is encrypted,
// names a place outside targetFolder, inflates past its declared size, or a
// target cannot be written, and when the declared sizes do not fit on the
// target's disk. Names and sizes are checked before anything is written, and
// a failure removes what was written. `unpacked` receives the full path of
// every file written.
bool ExtractZipArchive(const std::string& zipFileName, const std::string& targetFolder,
                       std::vector<std::string>& unpacked);
