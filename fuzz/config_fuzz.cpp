// The configuration file the main program hands over: the word and number
// rules its lines are read with, then the whole file through LoadConfig on a
// scripted front end, with the temporary folder in a scratch folder.
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/haupt.h"
#include "base/strings.h"
#include "fuzz_support.h"
#include "platform/list_file.h"
#include "run/config.h"
#include "scripted_front_end.h"

namespace {

namespace fs = std::filesystem;

// ---- Words, trimming and numbers ----

void CheckWords(const std::string& line) {
  const std::vector<std::string> words = SplitWords(line);
  std::string joined;
  for (std::size_t i = 0; i < words.size(); ++i) {
    Require(!words[i].empty() && words[i].find(' ') == std::string::npos, "word holds a blank");
    const std::size_t start = WordStart(line, i);
    Require(start != std::string::npos && line.compare(start, words[i].size(), words[i]) == 0,
            "WordStart does not point at the word");
    joined += words[i];
  }
  Require(WordStart(line, words.size()) == std::string::npos, "WordStart beyond the last word");
  std::string withoutBlanks = line;
  std::erase(withoutBlanks, ' ');
  Require(joined == withoutBlanks, "words lose or add characters");
}

void CheckTrim(const std::string& line) {
  const std::string trimmed = TrimControl(line);
  Require(line.find(trimmed) != std::string::npos, "trimmed text is no part of the line");
  if (trimmed.empty()) return;
  Require(static_cast<unsigned char>(trimmed.front()) > 32 &&
              static_cast<unsigned char>(trimmed.back()) > 32,
          "control character left at an end");
}

void CheckNumber(const std::string& word) {
  const std::optional<std::int64_t> value = ParseInteger(word);
  const std::int32_t fallback = 4711;
  const bool fits = value && *value >= INT32_MIN && *value <= INT32_MAX;
  Require(IntegerOrDefault(word, fallback) == (fits ? static_cast<std::int32_t>(*value) : fallback),
          "IntegerOrDefault disagrees with ParseInteger");
  // A decimal word means what the standard library reads in it.
  const std::string_view digits = word.starts_with('+') ? std::string_view(word).substr(1) : word;
  if (!value || digits.find_first_of("xX$") != std::string_view::npos) return;
  std::int64_t standard = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), standard);
  Require(error == std::errc() && end == digits.data() + digits.size() && standard == *value,
          "decimal word read differently than by from_chars");
}

// ---- LoadConfig ----

const fs::path& TempFolder() {
  static const fs::path temp = [] {
    const fs::path folder = ScratchRoot("config") / "temp";
    fs::create_directories(folder);
    setenv("TMPDIR", folder.c_str(), 1);
    return folder;
  }();
  return temp;
}

bool IsProperSubfolder(const std::string& folder, const fs::path& parent) {
  const fs::path relative = fs::path(folder).lexically_normal().lexically_relative(parent);
  return !relative.empty() && *relative.begin() != ".." && relative != ".";
}

void CheckLoadConfig(std::string_view bytes) {
  const fs::path& temp = TempFolder();
  std::ofstream(temp / "P.cfg", std::ios::binary | std::ios::trunc) << bytes;
  ScriptedFrontEnd* ui = nullptr;
  TForm1 form({(temp.parent_path() / "Quennvoldar").string(), "P.cfg"},
              [&ui](FrontEndEvents& events) {
                auto frontEnd = std::make_unique<ScriptedFrontEnd>(events);
                ui = frontEnd.get();
                return frontEnd;
              });
  if (!LoadConfig(form.State(), form)) {
    Require(form.State().Status == TStatus::sError && form.State().CancelS &&
                ui->informations.size() == 1,
            "a refused configuration is not reported as a failure");
    return;
  }
  Require(
      IsProperSubfolder(form.State().DownloadOrdner, temp),
      "download folder is not a folder below the temporary folder: " + form.State().DownloadOrdner);
  Require(!form.State().FAktFont.fontName.empty(), "empty font name");
  Require(form.State().CfgSl.lines.size() >= 21, "configuration shorter than 21 lines");
  const std::optional<ListFile> saved = ReadListFile((temp / "P.cfg").string());
  Require(saved && saved->lines == form.State().CfgSl.lines &&
              saved->encoding == form.State().CfgSl.encoding,
          "saved configuration reads back differently");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = AsText(data, size);
  for (const std::string& line : DecodeListFile(bytes).lines) {
    CheckWords(line);
    CheckTrim(line);
    for (const std::string& word : SplitWords(line)) CheckNumber(word);
  }
  CheckLoadConfig(bytes);
  return 0;
}
