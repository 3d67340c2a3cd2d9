#include "run/config.h"

#include "base/strings.h"
#include "platform/file_system.h"
#include "platform/locale.h"
#include "platform/own_folder.h"
#include "platform/paths.h"
#include "platform/system_failure.h"
#include "resources/texts.h"

std::string MakeInstanceTitle(const std::string& firstArgument) {
  return ChangeFileExt(firstArgument, "") + kProgramVersionSuffix;
}

namespace {

constexpr std::size_t kConfigLines = 21;

// Some part other than "." or blanks and dots, which Windows trims away: the
// download folder then lies below the temporary folder, not on it.
bool NamesSubfolder(const std::string& relative) {
  return relative.find_first_not_of(". /\\") != std::string::npos;
}

Failure ConfigFailure(FailureKind kind, const std::string& path, const std::string& why) {
  return {kind, FailureCode::None, 0, "read configuration", path, why};
}

// Line 4: size word, then the font name from the second word to the end.
void ReadFontLine(const std::string& line, StatusStyle& style) {
  const std::vector<std::string> words = SplitWords(line);
  style.sizePoints = IntegerOrDefault(words.empty() ? "" : words[0], 12);
  const std::size_t nameStart = WordStart(line, 1);
  const std::string name = nameStart == std::string::npos ? line : line.substr(nameStart);
  if (!name.empty()) style.fontName = name;
}

// Line 5: exactly three words, bold flag, text colour, background colour.
void ReadColourLine(const std::string& line, StatusStyle& style) {
  const std::vector<std::string> words = SplitWords(line);
  if (words.size() != 3) return;
  style.bold = words[0] == "1";
  style.textColor = IntegerOrDefault(words[1], 0);
  style.backColor = IntegerOrDefault(words[2], 16777215);
}

}  // namespace

bool LoadConfig(RunState& state, RunContext& run) {
  state.CfgFilename = GetTempFolder() + state.Argument(1);
  if (state.args.size() < 2) {
    run.Fail(kMsgOnlyFromMainProgram,
             ConfigFailure(FailureKind::NotFound, "", "started without its name"));
    return false;
  }
  const std::string& path = state.CfgFilename;
  std::optional<ListFile> loaded;
  Failure unread = ConfigFailure(FailureKind::NotFound, path, "no such file");
  // Another user's file would choose the installation folder. In a shared
  // temporary folder, which is sticky, nobody else can replace a file of ours
  // between this look and the reading.
  if (!state.Argument(1).empty() && FileExists(path)) {
    if (!IsOwnFile(path)) {
      unread = ConfigFailure(FailureKind::Access, path, "a link or someone else's");
    } else if (loaded = ReadListFile(path); !loaded) {
      unread = LastSystemFailure("read configuration", path);
    }
  }
  // Without a full executable path the installation folder would be empty or
  // relative to wherever the updater was started; a product folder that is
  // empty, only ".", or climbs out would put the download folder onto the
  // temporary folder itself or somewhere else.
  if (!loaded) {
    run.Fail(kMsgConfigNotLoaded, unread);
    return false;
  }
  if (loaded->lines.size() < 4 || !IsAbsolutePath(NativeSeparators(loaded->lines[2])) ||
      !NamesSubfolder(TrimControl(loaded->lines[3])) ||
      !IsContainedRelativePath(loaded->lines[3])) {
    run.Fail(kMsgConfigNotLoaded,
             ConfigFailure(FailureKind::Damaged, path,
                           "needs an absolute program path on line 3 and a product folder "
                           "below the temporary folder on line 4"));
    return false;
  }
  state.CfgSl = std::move(*loaded);
  if (state.CfgSl.lines.size() < kConfigLines) state.CfgSl.lines.resize(kConfigLines);
  const std::vector<std::string>& line = state.CfgSl.lines;

  state.MutexTitel = line[0];
  state.FensterTitel = line[1];
  state.InstallOrdner = ExtractFilePath(NativeSeparators(line[2]));
  state.DownloadOrdner = IncludeTrailingDelimiter(GetTempFolder() + NativeSeparators(line[3]));
  state.JobsFilename = state.DownloadOrdner + ChangeFileExt(state.OwnExeName(), ".job");

  ReadFontLine(line[4], state.FAktFont);
  ReadColourLine(line[5], state.FAktFont);
  run.ApplyStatusStyle(state.FAktFont);

  state.UpdaterOrdner[1] = kUpdaterServerFolder1;
  state.UpdaterOrdner[2] = kUpdaterServerFolder2;
  std::string productFolder = line[3];
  if (productFolder.back() != '\\' && productFolder.back() != '/') productFolder += '\\';
  productFolder = BackslashToSlash(productFolder);
  state.ServerOrdner[1] = "/" + productFolder;
  state.ServerOrdner[2] = "/vask/updates/" + productFolder;

  if (!SameText(state.Argument(2), "/U")) {
    state.CfgSl.lines[11] = run.Caption();
    state.CfgSl.lines[12] = state.DownloadOrdner + state.OwnExeName();
    state.CfgSl.lines[13] = state.InstallOrdner + state.OwnExeName();
    state.CfgSl.lines[20] = "0";
  }
  SaveListFile(state.CfgFilename, state.CfgSl);
  return true;
}
