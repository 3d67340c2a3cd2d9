// The job file from the server run against a scratch installation folder:
// lines may delete ("l") or sweep ("s") inside it, never outside, and only
// files that a line with a path names.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/haupt.h"
#include "base/strings.h"
#include "fuzz_support.h"
#include "install/install.h"
#include "platform/list_file.h"
#include "platform/paths.h"
#include "scripted_front_end.h"

namespace {

namespace fs = std::filesystem;

// Enough lines to combine jobs; more only slow the target down.
constexpr std::size_t kMaxLines = 64;

// Relative to the scratch root; "inst/" is the installation folder and
// "Daten/keep.txt" the one file the update brings.
const std::vector<std::string> kFiles = {
    "outside.txt",      "Andere/x.txt",        "inst/top.txt",        "inst/l",
    "inst/Daten/a.txt", "inst/Daten/keep.txt", "inst/Daten/Sub/c.txt"};

void RestoreFiles(const fs::path& root) {
  for (const std::string& file : kFiles) {
    if (fs::exists(root / file)) continue;
    fs::create_directories((root / file).parent_path());
    std::ofstream(root / file) << "old";
  }
}

// The file or folder a line's path names, or empty when the line has none.
fs::path NamedPlace(const fs::path& inst, const std::string& line) {
  const std::size_t pathStart = WordStart(line, 1);
  if (pathStart == std::string::npos) return {};
  const std::string path = NativeSeparators(TrimControl(line.substr(pathStart)));
  if (path.empty() || path.find('\0') != std::string::npos) return {};
  std::error_code error;
  const fs::path place = fs::weakly_canonical(inst / path, error);
  return error ? fs::path() : place;
}

// Whether some line names the deleted file, or the folder an "s" line sweeps.
bool NamedByALine(const fs::path& inst, const std::vector<std::string>& lines,
                  const fs::path& deleted) {
  for (const std::string& line : lines) {
    const std::vector<std::string> words = SplitWords(line);
    if (words.empty() || words[0].size() != 1) continue;
    const char verb = static_cast<char>(words[0][0] | 0x20);
    const fs::path place = NamedPlace(inst, line);
    if (place.empty()) continue;
    if (verb == 'l' && place == deleted) return true;
    if (verb == 's' && place == deleted.parent_path()) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fs::path root = fs::canonical(ScratchRoot("job_lines"));
  static const fs::path inst = root / "inst";
  RestoreFiles(root);

  ListFile jobs = DecodeListFile(AsText(data, size));
  if (jobs.lines.size() > kMaxLines) jobs.lines.resize(kMaxLines);
  TForm1 form({(root / "Quennvoldar").string(), "P.cfg", "/U"},
              [](FrontEndEvents& events) { return std::make_unique<ScriptedFrontEnd>(events); });
  form.State().InstallOrdner = IncludeTrailingDelimiter(inst.string());
  form.State().OrdnerFiles = {NativeSeparators("Daten/keep.txt")};
  form.State().JobsSl = jobs;
  install::RunJobs(form.State());

  for (const std::string& file : kFiles) {
    const fs::path path = root / file;
    if (fs::exists(path)) continue;
    Require(file.starts_with("inst/"),
            "job deleted a file outside the installation folder: " + file);
    Require(NamedByALine(inst, jobs.lines, path),
            "job deleted a file no line with a path names: " + file);
  }
  return 0;
}
