// What the discovery phase asks of the system (platform port).
#pragma once

#include <string>

// Whether the user may install: a member of the Administrators group on
// Windows; root or allowed to write into the folder elsewhere.
bool IsUserAdmin(const std::string& installFolder);
std::string GetCurrentUserName();
bool IsInternetConnected();

// The all-users programs folder (the start menu's) with a trailing
// separator; empty on failure. Outside Windows it is "applications" below the
// first entry of $XDG_DATA_DIRS (default /usr/local/share).
std::string AllUsersProgramsFolder();
