// The arguments come from the wide command line: argv of a narrow main()
// holds them in the ANSI code page, which cannot carry every file name.
#include <windows.h>

#include <shellapi.h>

#include "platform/process.h"
#include "platform/win32/wide_text.h"

std::vector<std::string> GetCommandLineArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Narrow(wide[i]));
  LocalFree(wide);
  return arguments;
}
