// A stand-in for the product's main program: it holds the product's named
// mutex and shows a window with the product's title, so an update run can
// find it, ask it to close and see the mutex go. Used by the integration
// tests and the demo.
//
//   SampleMainProgram --mutex NAME --title TITLE [--refuse-close]
//                     [--ready-file FILE] [--log FILE]
//
// --ready-file is written (the window handle in decimal) once the window
// exists; --log gets one line per message received. Exit codes: 0 closed
// on request or ended by SIGTERM, 2 bad arguments, 3 the mutex was already
// held, 4 no mutex could be made.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/window_messages.h"

namespace {

// ---- Arguments ----

struct Options {
  std::string mutexName;
  std::string title;
  bool refuseClose = false;
  std::string readyFile;
  std::string logFile;
};

bool ParseOptions(const std::vector<std::string>& args, Options& options) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& option = args[i];
    const bool hasValue = i + 1 < args.size();
    if (option == "--refuse-close") {
      options.refuseClose = true;
    } else if (option == "--mutex" && hasValue) {
      options.mutexName = args[++i];
    } else if (option == "--title" && hasValue) {
      options.title = args[++i];
    } else if (option == "--ready-file" && hasValue) {
      options.readyFile = args[++i];
    } else if (option == "--log" && hasValue) {
      options.logFile = args[++i];
    } else {
      return false;
    }
  }
  return !options.mutexName.empty() && !options.title.empty();
}

// ---- Files ----

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// Opened per line, so a reader sees every line as soon as it is written.
void AppendLine(const std::string& path, const std::string& line) {
  if (path.empty()) return;
  std::ofstream log(PathOf(path), std::ios::app | std::ios::binary);
  log << line << '\n';
}

// Put in place complete, so a waiting test never reads half of it.
void WriteReadyFile(const std::string& path, WindowHandle window) {
  if (path.empty()) return;
  const auto target = PathOf(path);
  auto partial = target;
  partial += ".partial";
  {
    std::ofstream file(partial, std::ios::trunc | std::ios::binary);
    file << window << '\n';
  }
  std::error_code error;
  std::filesystem::rename(partial, target, error);
}

// ---- Termination ----

volatile std::sig_atomic_t gTerminated = 0;

extern "C" void OnTerminate(int) { gTerminated = 1; }

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(GetCommandLineArguments(argc, argv), options)) {
    std::fprintf(stderr,
                 "usage: SampleMainProgram --mutex NAME --title TITLE [--refuse-close] "
                 "[--ready-file FILE] [--log FILE]\n");
    return 2;
  }
  NamedMutex mutex = NamedMutex::Create(options.mutexName);
  if (!mutex.Valid()) return 4;
  if (mutex.AlreadyExisted()) return 3;
  std::signal(SIGTERM, OnTerminate);

  bool closeRequested = false;
  MessageWindow window(options.title, [&](unsigned message) {
    AppendLine(options.logFile, std::to_string(message));
    if (message == WM_CLOSEREQUEST && !options.refuseClose) closeRequested = true;
  });
  WriteReadyFile(options.readyFile, window.Handle());
  // The wait ends early on a signal; the bound only matters where it does not.
  while (!closeRequested && gTerminated == 0) window.ProcessMessages(200);
  return 0;
}
