// The product's uninstall entry: one existing key, opened for reading and
// writing, never created (platform port).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class UninstallKey {
 public:
  virtual ~UninstallKey() = default;
  virtual bool HasValue(const std::string& name) = 0;
  virtual std::optional<std::string> ReadText(const std::string& name) = 0;
  virtual std::optional<std::int32_t> ReadInteger(const std::string& name) = 0;
  virtual bool WriteText(const std::string& name, const std::string& value) = 0;
  virtual bool WriteInteger(const std::string& name, std::int32_t value) = 0;
};

// The key "<product>_is1" of the uninstall entries (the 32-bit view on
// Windows); nullptr when it does not exist or cannot be opened for writing.
std::unique_ptr<UninstallKey> OpenUninstallKey(const std::string& productName);
