// Private to the POSIX port: the folder that stands in for the registry of
// the local machine, with a trailing "/".
#pragma once

#include <string>

std::string RegistryFolder();
