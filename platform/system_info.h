// What the discovery phase asks of the system (platform port).
#pragma once

#include <string>

// Whether the user may install: a member of the Administrators group on
// Windows; root or allowed to write into the folder elsewhere.
bool IsUserAdmin(const std::string& installFolder);
std::string GetCurrentUserName();
bool IsInternetConnected();

inline constexpr int CSIDL_COMMON_PROGRAMS = 23;
// The shell folder with a trailing separator; empty on failure. Outside
// Windows the all-users programs folder is "applications" below the first
// entry of $XDG_DATA_DIRS (default /usr/local/share).
std::string GetSpecialFolderPath(int csidl);
