// A run ready for the installation phase: an install-only start (the copied
// marker stays as written) whose installation folder, download folder,
// programs folder and uninstall entries all lie in a fresh temporary folder.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../support/scripted_front_end.h"
#include "../support/temp_folder.h"
#include "app/haupt.h"
#include "discovery/discovery.h"
#include "download/download.h"
#include "install/install.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/system_info.h"
#include "run/config.h"

// Sets an environment variable for the life of the object.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    hadValue_ = old != nullptr;
    if (hadValue_) saved_ = old;
    Set(value);
  }
  ~ScopedEnvironment() { Set(hadValue_ ? saved_ : ""); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
#ifdef _WIN32
  void Set(const std::string& value) { _putenv_s(name_, value.c_str()); }
#else
  void Set(const std::string& value) { setenv(name_, value.c_str(), 1); }
#endif
  const char* name_;
  std::string saved_;
  bool hadValue_ = false;
};

inline std::string UniqueTestName(const std::string& stem) {
  std::random_device random;
  return stem + "-" + std::to_string(random()) + std::to_string(random());
}

class InstallFixture {
 public:
  // The product installed in <temp>/inst/, downloads in
  // <temp>/Produkt/; its mutex and window title are unique to this test, so
  // the main program does not run unless a test says so.
  explicit InstallFixture(const std::string& copiedMarker = "0")
      : mutexName(UniqueTestName("QV-Produkt")),
        windowTitle(UniqueTestName("Hauptfenster")),
        programsFolder_("XDG_DATA_DIRS", temp.Path() + "share"),
        registryFolder_("QUENNVOLDAR_REGISTRY_DIR", temp.Path() + "registry") {
    form = std::make_unique<TForm1>(std::vector<std::string>{"Quennvoldar", "P.cfg", "/U"},
                                    [this](FrontEndEvents& events) {
                                      auto frontEnd = std::make_unique<ScriptedFrontEnd>(events);
                                      ui = frontEnd.get();
                                      return frontEnd;
                                    });
    // The road without release keys; the release tests give theirs.
    form->State().ReleaseKeys.clear();
    form->State().ExePath = temp.Path() + "inst" + kPathDelim + "Quennvoldar" + kExeSuffix;
    form->State().UninstFilename = temp.Path() + "Quennvoldar.dat";
    std::string lines =
        mutexName + "\r\n" + windowTitle + "\r\n" + temp.Path() + "inst\\main.exe\r\nProdukt\r\n";
    for (int line = 4; line < 20; ++line) lines += "\r\n";
    temp.Write("P.cfg", lines + copiedMarker + "\r\n");
    std::filesystem::create_directories(temp.Path() + "inst");
    std::filesystem::create_directories(temp.Path() + "Produkt");
    EXPECT_TRUE(LoadConfig(form->State(), *form));
  }

  // ---- Files, paths relative to the temporary folder ----

  void Write(const std::string& relative, const std::string& bytes) const {
    temp.Write(relative, bytes);
  }
  // Through the port, which takes UTF-8 names on every platform.
  std::string Read(const std::string& relative) const {
    std::FILE* file = OpenFile(Path(relative), FileOpenMode::Read);
    if (file == nullptr) return "";
    std::string bytes;
    char block[4096];
    std::size_t count;
    while ((count = std::fread(block, 1, sizeof block, file)) > 0) bytes.append(block, count);
    std::fclose(file);
    return bytes;
  }
  bool Exists(const std::string& relative) const { return temp.Exists(relative); }
  std::string Path(const std::string& relative) const {
    return temp.Path() + NativeSeparators(relative);
  }

  // The POSIX port keeps uninstall entries as key files and the programs
  // folder below $XDG_DATA_DIRS, both pointed into this folder; the Windows
  // port uses the registry (see UninstallEntryStore) and the real start menu,
  // whose shortcuts tests leave alone.
  bool UninstallEntriesAreKeyFiles() const {
    Write("registry/QV probe_is1.key", "");
    const bool here = OpenUninstallKey("QV probe") != nullptr;
    std::filesystem::remove(Path("registry/QV probe_is1.key"));
    return here;
  }
  bool ProgramsFolderIsHere() const {
    return AllUsersProgramsFolder() == Path("share/applications/");
  }
  void SetDate(const std::string& relative, TDateTime date) const {
    ASSERT_TRUE(SetFileDateByName(Path(relative), date));
  }
  TDateTime Date(const std::string& relative) const { return GetFileDateByName(Path(relative)); }
  // The copied marker as the configuration file holds it now.
  std::string SavedMarker() const {
    const std::optional<ListFile> cfg = ReadListFile(Path("P.cfg"));
    return cfg && cfg->lines.size() > 20 ? cfg->lines[20] : "<none>";
  }

  TempFolder temp;  // first: the form takes it as the temporary folder
  const std::string mutexName;
  const std::string windowTitle;
  ScriptedFrontEnd* ui = nullptr;
  std::unique_ptr<TForm1> form;

 private:
  ScopedEnvironment programsFolder_;
  ScopedEnvironment registryFolder_;
};
