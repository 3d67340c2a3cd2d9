// Program entry: one updater per configuration name. A second start only
// brings the running one to the front.
#include "app/haupt.h"
#include "platform/date_names.h"
#include "platform/process.h"
#include "platform/window_messages.h"

int main(int argc, char** argv) {
  TrimShortDayNames();
  FixMonthNames();
  const std::vector<std::string> args = GetCommandLineArguments(argc, argv);
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
    form.releaseInstanceGuard = [&guard] { guard.Close(); };
    form.Run();
  }
  guard.Close();
  return 0;
}
