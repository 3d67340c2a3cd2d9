// POSIX hands the arguments over already split and in the locale's encoding,
// which is UTF-8 on every system the updater runs on.
#include "platform/process.h"

std::vector<std::string> GetCommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}
