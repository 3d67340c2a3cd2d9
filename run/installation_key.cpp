#include "run/installation_key.h"

#include <optional>

#include "base/version_text.h"
#include "platform/locale.h"

std::unique_ptr<UninstallKey> OpenInstallationKey(const RunState& state) {
  std::unique_ptr<UninstallKey> key = OpenUninstallKey(StripVersionSuffix(state.MutexTitel));
  if (!key || !key->HasValue("InstallLocation")) return nullptr;
  const std::optional<std::string> location = key->ReadText("InstallLocation");
  if (!location || !SameText(*location, state.InstallOrdner)) return nullptr;
  return key;
}
