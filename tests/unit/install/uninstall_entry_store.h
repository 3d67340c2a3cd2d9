// The product's uninstall entry where the port keeps it, for tests: a key
// file in the given folder on POSIX, the registry itself on Windows (Wine's
// prefix under test). Each store has a product name of its own, so tests
// running side by side never share an entry; the entry goes with the store.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

// Value name -> "sz:text" or "dword:number".
using EntryValues = std::map<std::string, std::string>;

class UninstallEntryStore {
 public:
  explicit UninstallEntryStore(const std::string& keyFileFolder);
  ~UninstallEntryStore();
  UninstallEntryStore(const UninstallEntryStore&) = delete;
  UninstallEntryStore& operator=(const UninstallEntryStore&) = delete;

  // "Foo Bar" and a random number.
  const std::string& Product() const { return product_; }
  // The entry made to hold exactly these values.
  void Write(const EntryValues& values);
  // Nothing when there is no entry.
  std::optional<EntryValues> Read() const;
  // Whether anything was written to the entry between the two calls, even
  // the value it already had.
  void StartWatching();
  bool WrittenSinceWatching() const;

  struct Impl;

 private:
  std::string product_;
  std::unique_ptr<Impl> impl_;
};
