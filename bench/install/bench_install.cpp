// Runs the installation phase's own code on prepared folders, for
// bench/install/run.sh, which times it next to the system tools:
//
//   qv_bench_install verify-copy DOWNLOAD_FOLDER INSTALL_FOLDER
//       install list, verification and copying, as the phase runs them
//   qv_bench_install extract ARCHIVE TARGET_FOLDER
//       the extraction of one archive
//
// Prints what it did; exit code 1 when the code under test reported failure.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/haupt.h"
#include "install/install.h"
#include "install/zip_extract.h"
#include "platform/paths.h"

namespace {

// A front end without a window: nothing to show, every question declined.
class SilentFrontEnd final : public FrontEnd {
 public:
  void SetCaption(const std::string& caption) override { caption_ = caption; }
  std::string Caption() const override { return caption_; }
  WindowHandle Handle() const override { return 0; }
  void ShowMainWindow() override {}
  void HideMainWindow() override {}
  bool MainWindowVisible() const override { return false; }
  void ForceToFront() override {}
  void SetStatusText(const std::string& text) override { status_ = text; }
  std::string StatusText() const override { return status_; }
  void ApplyStatusStyle(const StatusStyle&) override {}
  void SetProgress(int position) override { progress_ = position; }
  int Progress() const override { return progress_; }
  void SetTrayIconVisible(bool) override {}
  bool TrayIconVisible() const override { return false; }
  void SetTrayHint(const std::string&) override {}
  void ShowInformation(const std::string& text) override {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  bool AskQuestion(const std::string&) override { return false; }
  void SetTimerEnabled(int, bool) override {}
  void ProcessMessages() override {}
  void RunMessageLoop(bool) override {}
  void Close() override {}

 private:
  std::string caption_;
  std::string status_;
  int progress_ = 0;
};

int VerifyAndCopy(const std::string& downloadFolder, const std::string& installFolder) {
  TForm1 form({"qv_bench_install", "bench.cfg"},
              [](FrontEndEvents&) { return std::make_unique<SilentFrontEnd>(); });
  // The road without release keys: the tools know no signed hashes either.
  form.State().ReleaseKeys.clear();
  form.State().DownloadOrdner = IncludeTrailingDelimiter(downloadFolder);
  form.State().InstallOrdner = IncludeTrailingDelimiter(installFolder);
  // The uninstall list lies in the installation folder, as the updater's does.
  form.State().UninstFilename = form.State().InstallOrdner + "bench.dat";
  // Marker "1": the configuration file, which a bench has not, is never written.
  form.State().CfgSl.lines.assign(20, std::string());
  form.State().CfgSl.lines.emplace_back("1");

  install::BuildInstallList(form.State());
  const std::size_t listed = form.State().OrdnerFiles.size();
  if (!install::VerifyFiles(form.State(), form)) return 1;
  const std::size_t differing = form.State().OrdnerFiles.size();
  if (!install::CopyFiles(form.State(), form)) return 1;
  std::printf("%zu files verified, %zu copied\n", listed, differing);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv, argv + argc);
  if (args.size() == 4 && args[1] == "verify-copy") return VerifyAndCopy(args[2], args[3]);
  if (args.size() == 4 && args[1] == "extract") {
    std::vector<std::string> unpacked;
    return ExtractZipArchive(args[2], IncludeTrailingDelimiter(args[3]), unpacked) ? 0 : 1;
  }
  std::fprintf(stderr,
               "usage: qv_bench_install verify-copy DOWNLOAD_FOLDER INSTALL_FOLDER\n"
               "       qv_bench_install extract ARCHIVE TARGET_FOLDER\n");
  return 2;
}
