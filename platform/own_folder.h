// Folders and files below the temporary folder that only the updater may
// write (platform port). What they hold is installed with the updater's
// rights, so nothing another user or program could have put there is used.
#pragma once

#include <string>

enum class OwnFolder {
  Ready,   // made, or found as the updater's own
  NotOwn,  // someone else could have written into it: not to be used
  Failed,  // could not be made
};

// Makes the folder (below the temporary folder) for the updater's use alone;
// a folder on the way that is a link makes it NotOwn. POSIX: every folder
// from the temporary folder down is made with mode 0700; one that exists must
// belong to the user the updater runs as and be writable by nobody else.
// Windows, elevated: the folder gets an access list for administrators and
// SYSTEM only; one found without it is emptied (NotOwn when that fails),
// unless the file system keeps no such lists (FAT, Wine). Not elevated, it
// is made as any folder.
OwnFolder PrepareOwnFolder(const std::string& folder);

// Whether a file is no link and (POSIX) belongs to the user the updater runs
// as, who alone may write it. On Windows the temporary folder is the user's
// and the main program writes its files there without elevation.
bool IsOwnFile(const std::string& path);
