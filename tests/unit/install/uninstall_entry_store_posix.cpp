// The POSIX port's uninstall entry: "<product>_is1.key", one
// "name=type:value" line per value.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

#include "uninstall_entry_store.h"

namespace fs = std::filesystem;

struct UninstallEntryStore::Impl {
  fs::path file;
  fs::file_time_type watchedDate;
};

// ---- Entry ----

UninstallEntryStore::UninstallEntryStore(const std::string& keyFileFolder)
    : product_("Foo Bar " + std::to_string(std::random_device{}())),
      impl_(std::make_unique<Impl>()) {
  // Letters, digits and blanks only: the file name needs no escapes.
  impl_->file = fs::path(keyFileFolder) / (product_ + "_is1.key");
}

UninstallEntryStore::~UninstallEntryStore() {
  std::error_code ignored;
  fs::remove(impl_->file, ignored);
}

void UninstallEntryStore::Write(const EntryValues& values) {
  fs::create_directories(impl_->file.parent_path());
  std::ofstream out(impl_->file, std::ios::binary | std::ios::trunc);
  for (const auto& [name, value] : values) out << name << '=' << value << '\n';
}

std::optional<EntryValues> UninstallEntryStore::Read() const {
  std::ifstream in(impl_->file, std::ios::binary);
  if (!in) return std::nullopt;
  EntryValues values;
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return values;
}

// ---- Watching ----

// A year back: a rewrite, even within the same clock tick, moves the date on.
void UninstallEntryStore::StartWatching() {
  impl_->watchedDate = fs::last_write_time(impl_->file) - std::chrono::hours(24 * 365);
  fs::last_write_time(impl_->file, impl_->watchedDate);
}

bool UninstallEntryStore::WrittenSinceWatching() const {
  return fs::last_write_time(impl_->file) != impl_->watchedDate;
}
