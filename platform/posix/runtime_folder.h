// The per-user folder that stands in for the Windows object namespace:
// named mutexes and top-level windows of all processes of one user.
#pragma once

#include <string>

// "<runtime>/quennvoldar/<name>/" with <runtime> from $XDG_RUNTIME_DIR, else
// "/tmp/quennvoldar-<uid>/<name>/". Created with mode 0700 when missing;
// empty when the folder is not ours alone (other owner, group or world
// writable, a symbolic link), so nothing is placed where others can meddle.
std::string RuntimeSubfolder(const std::string& name);
