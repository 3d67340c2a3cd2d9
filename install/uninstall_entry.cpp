// The product's uninstall entry after an update: version, publisher, date and
// web addresses refreshed. Only existing values that differ are written;
// nothing is created and nothing is reported.
#include <functional>

#include "base/strings.h"
#include "base/version_text.h"
#include "deployment.h"
#include "install/install.h"
#include "platform/file_info.h"
#include "platform/local_time.h"
#include "platform/locale.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "run/installation_key.h"

namespace install {

namespace {

constexpr int kFileVersionIndex = 2;
constexpr int kLegalCopyrightIndex = 4;

// ---- Values ----

// False when the value could not be read or written: the refresh stops there,
// what was written before stays.
bool RefreshText(UninstallKey& key, const char* name, bool allowed,
                 const std::function<std::string(const std::string&)>& newValue) {
  if (!key.HasValue(name)) return true;
  const std::optional<std::string> old = key.ReadText(name);
  if (!old) return false;
  if (!allowed) return true;
  const std::string value = newValue(*old);
  return value == *old || key.WriteText(name, value);
}

bool RefreshInteger(UninstallKey& key, const char* name, std::int32_t value) {
  if (!key.HasValue(name)) return true;
  const std::optional<std::int32_t> old = key.ReadInteger(name);
  if (!old) return false;
  return value < 0 || value == *old || key.WriteInteger(name, value);
}

std::function<std::string(const std::string&)> Always(const std::string& value) {
  return [value](const std::string&) { return value; };
}

std::string MainProgramFile(const RunState& state) {
  return state.CfgSl.lines.size() > 2 ? NativeSeparators(state.CfgSl.lines[2]) : std::string();
}

}  // namespace

// ---- Entry ----

void UpdateUninstallEntry(const RunState& state) {
  try {
    const std::unique_ptr<UninstallKey> key = OpenInstallationKey(state);
    if (!key) return;

    const std::string version = TrimControl(GetMainProgramVersion(state));
    std::string publisher;
    GetVersionInfoValue(MainProgramFile(state), kLegalCopyrightIndex, publisher);
    publisher = TrimControl(publisher);
    const std::string today = FormatDateCompact(NowLocal());
    const std::int32_t major = VersionMajorOf(version);
    const std::int32_t minor = VersionMinorOf(version);

    UninstallKey& k = *key;
    // In this order; an error ends the refresh where it happens.
    const std::function<bool()> steps[] = {
        [&] {
          return RefreshText(k, "DisplayName", !version.empty(), [&](const std::string& old) {
            return AppendVersionSuffix(old, version);
          });
        },
        [&] { return RefreshText(k, "DisplayVersion", !version.empty(), Always(version)); },
        [&] { return RefreshText(k, "Publisher", !publisher.empty(), Always(publisher)); },
        [&] { return RefreshText(k, "InstallDate", true, Always(today)); },
        [&] { return RefreshText(k, "HelpLink", true, Always(kHomePage)); },
        [&] { return RefreshText(k, "URLInfoAbout", true, Always(kHomePage)); },
        [&] { return RefreshText(k, "URLUpdateInfo", true, Always(kHomePage)); },
        [&] { return RefreshInteger(k, "MajorVersion", major); },
        [&] { return RefreshInteger(k, "MinorVersion", minor); },
        [&] { return RefreshInteger(k, "VersionMajor", major); },
        [&] { return RefreshInteger(k, "VersionMinor", minor); },
    };
    for (const std::function<bool()>& step : steps) {
      if (!step()) return;
    }
  } catch (const std::exception&) {
    // Silent by design: the entry stays as far as it was written.
  }
}

std::string GetMainProgramVersion(const RunState& state) {
  std::string fileVersion;
  GetVersionInfoValue(MainProgramFile(state), kFileVersionIndex, fileVersion);
  return ShortFileVersion(fileVersion);
}

}  // namespace install
