// The configuration file the main program hands over, and the names derived
// from it and from the command line.
#include "app/haupt.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/strings.h"
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

bool TForm1::LoadConfig() {
  CfgFilename = GetTempFolder() + Argument(1);
  if (args.size() < 2) {
    Fail(kMsgOnlyFromMainProgram);
    return false;
  }
  std::optional<ListFile> loaded;
  if (!Argument(1).empty() && FileExists(CfgFilename)) loaded = ReadListFile(CfgFilename);
  // Without a full executable path the installation folder would be empty or
  // relative to wherever the updater was started; a product folder that is
  // empty, only ".", or climbs out would put the download folder onto the
  // temporary folder itself or somewhere else.
  if (!loaded || loaded->lines.size() < 4 ||
      !IsAbsolutePath(NativeSeparators(loaded->lines[2])) ||
      !NamesSubfolder(TrimControl(loaded->lines[3])) ||
      !IsContainedRelativePath(loaded->lines[3])) {
    Fail(kMsgConfigNotLoaded);
    return false;
  }
  CfgSl = std::move(*loaded);
  if (CfgSl.lines.size() < kConfigLines) CfgSl.lines.resize(kConfigLines);
  const std::vector<std::string>& line = CfgSl.lines;

  MutexTitel = line[0];
  FensterTitel = line[1];
  InstallOrdner = ExtractFilePath(NativeSeparators(line[2]));
  DownloadOrdner = IncludeTrailingDelimiter(GetTempFolder() + NativeSeparators(line[3]));
  JobsFilename = DownloadOrdner + ChangeFileExt(OwnExeName(), ".job");

  ReadFontLine(line[4], FAktFont);
  ReadColourLine(line[5], FAktFont);
  ApplyStatusFont();

  UpdaterOrdner[1] = kUpdaterServerFolder1;
  UpdaterOrdner[2] = kUpdaterServerFolder2;
  std::string productFolder = line[3];
  if (productFolder.back() != '\\' && productFolder.back() != '/') productFolder += '\\';
  productFolder = BackslashToSlash(productFolder);
  ServerOrdner[1] = "/" + productFolder;
  ServerOrdner[2] = "/vask/updates/" + productFolder;

  if (!SameText(Argument(2), "/U")) {
    CfgSl.lines[11] = frontEnd->Caption();
    CfgSl.lines[12] = DownloadOrdner + OwnExeName();
    CfgSl.lines[13] = InstallOrdner + OwnExeName();
    CfgSl.lines[20] = "0";
  }
  SaveListFile(CfgFilename, CfgSl);
  return true;
}
