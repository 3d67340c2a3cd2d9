// An update's files land whole. Each file is first staged in a folder of its
// own inside the installation folder (so that its rename is atomic) under a
// short name; once every staged file is on disk, a journal naming every
// rename is put in place in one step, then the renames run, then the journal
// and the staging folder go. A run killed at any moment leaves either no
// journal (the installed files are all old; the staging folder is removed at
// the next start) or a complete one (the next start completes its renames).
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

inline constexpr const char* kStagingFolderName = "~Quennvoldar.staging";

class InstallJournal {
 public:
  explicit InstallJournal(std::string installFolder);

  // A new file in the staging folder that is to become the entry (a path
  // relative to the installation folder); nullptr when it cannot be made or
  // the entry's place can never be taken.
  std::FILE* Stage(const std::string& entry, std::string& stagedPath);
  // Removes the last staged file, which could not be written whole.
  void DiscardLast();
  const std::string& InstallFolder() const { return installFolder_; }

  // Flushes the staged files, writes the journal and renames every staged
  // file into its place; the staging folder goes afterwards. Returns the
  // entries that did not reach their place: all of them when the staged
  // files or the journal could not be made durable, else those whose place
  // could not be taken (a folder there, a file locked for good).
  std::vector<std::string> Commit();
  // Removes the staging folder with everything staged.
  void Abandon();

 private:
  std::string installFolder_;
  std::string stagingFolder_;
  std::vector<std::pair<std::string, std::string>> renames_;  // staged name, entry
};

// Once the configuration is loaded: completes the renames of a journal a
// killed run left in the installation folder, and removes a staging folder
// without a complete journal. True when nothing is left of either.
bool RecoverInstallation(const std::string& installFolder);
