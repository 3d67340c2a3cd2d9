// Program entry: one updater per configuration name. A second start only
// brings the running one to the front.
#include <exception>

#include "app/haupt.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/window_messages.h"
#include "run/config.h"

namespace {

int RunUpdater(const std::vector<std::string>& args) {
  const std::string title = MakeInstanceTitle(args.size() > 1 ? args[1] : "");
  NamedMutex guard = NamedMutex::Create(title);
  if (guard.AlreadyExisted()) {
    if (const WindowHandle running = FindWindowByTitleEnd(title)) {
      SendWindowMessage(running, WM_SHOWREQUEST);
    }
    return 0;
  }
  {
    TForm1 form(args, CreateFrontEnd);
    form.SetInstanceGuardRelease([&guard] { guard.Close(); });
    form.Run();
  }
  guard.Close();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = GetCommandLineArguments(argc, argv);
  try {
    return RunUpdater(args);
  } catch (...) {
    // Before the window exists or after it has gone: the outcome of a failed
    // run, named after the configuration file as the window title is.
    ShowInformationWithoutWindow(
        OutcomeMessage(TStatus::sError, ChangeFileExt(args.size() > 1 ? args[1] : "", "")));
    return 1;
  }
}
