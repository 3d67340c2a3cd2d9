// An archive of an update unpacked in its own folder, as the installation
// does: whatever the archive holds, nothing next to that folder changes.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>

#include "fuzz_support.h"
#include "install/zip_extract.h"
#include "platform/paths.h"

namespace {

namespace fs = std::filesystem;

// Every file and folder below root but the extraction folder, with contents.
std::map<fs::path, std::string> Snapshot(const fs::path& root, const fs::path& skipped) {
  std::map<fs::path, std::string> entries;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    if (it->path() == skipped) {
      it.disable_recursion_pending();
      continue;
    }
    std::string content = "<folder>";
    if (!it->is_directory()) {
      std::ifstream in(it->path(), std::ios::binary);
      content.assign(std::istreambuf_iterator<char>(in), {});
    }
    entries.emplace(it->path(), std::move(content));
  }
  return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fs::path root = ScratchRoot("zip_extract");
  static const fs::path folder = root / "Produkt";
  static const std::map<fs::path, std::string> before = [] {
    fs::create_directories(root / "Nachbar");
    std::ofstream(root / "daneben.txt") << "next to the download folder";
    std::ofstream(root / "Nachbar" / "x.txt") << "in a sibling folder";
    return Snapshot(root, folder);
  }();

  fs::create_directories(folder);
  const fs::path archive = folder / "update.zip";
  std::ofstream(archive, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  std::vector<std::string> unpacked;
  ExtractZipArchive(archive.string(), IncludeTrailingDelimiter(folder.string()), unpacked);

  const std::map<fs::path, std::string> after = Snapshot(root, folder);
  for (const auto& [path, content] : after) {
    const auto it = before.find(path);
    Require(it != before.end(), "extraction wrote outside its folder: " + path.string());
    Require(it->second == content,
            "extraction changed a file outside its folder: " + path.string());
  }
  Require(after.size() == before.size(), "extraction removed something outside its folder");
  // Read-only entries and folders go with the rest.
  std::error_code ignored;
  fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(folder);
  return 0;
}
