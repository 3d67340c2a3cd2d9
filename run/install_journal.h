// An update's files land whole. Each file is first staged in a folder of its
// own inside the installation folder (so that its rename is atomic) under a
// short name: a download on the same file system is moved there, any other
// is copied. Before the first download is moved, the plan of what may be
// staged is written down as an unfinished journal. Once every staged file is
// on disk, the complete journal naming every rename is put in place in one
// step, then the renames run, then the journal and the staging folder go.
// A run killed at any moment leaves either no complete journal (the
// installed files are all old; the next start gives every moved download
// back and removes the staging folder) or a complete one (the next start
// completes its renames).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* kStagingFolderName = "~Quennvoldar.staging";

class InstallJournal {
 public:
  // Entries are paths relative to both folders.
  InstallJournal(std::string installFolder, std::string downloadFolder);

  // The entries that may be staged, in the order they will be; a download is
  // moved in only once this plan is on disk.
  void Plan(std::vector<std::string> entries);

  // Names the entry's file in the staging folder and prepares its place (its
  // folder made, a read-only file there made writable) unless `placeReady`
  // says a file with clear attributes is there. False when the place can
  // never be taken: a folder there, or a file where its folder goes.
  bool Reserve(const std::string& entry, bool placeReady, std::string& stagedPath);
  // Fills the reserved name with the entry's download, moved; false when it
  // is not moved (not planned, another file system): it stays, to be copied.
  bool MoveDownloadIn();
  // Fills the reserved name with a new file to copy into; nullptr when it
  // cannot be made.
  std::FILE* CreateStaged();
  // Gives up the last reserved file; a moved download goes back.
  void DiscardLast();
  // A file written whole that lands after every staged one, and only when
  // all of them have; where it cannot, the file in its place goes too, so
  // that a record of what landed never names what did not. False when it
  // cannot be staged.
  bool StageLast(const std::string& entry, std::string_view bytes);
  const std::string& InstallFolder() const { return installFolder_; }

  // Flushes the staged files, writes the journal and renames every staged
  // file into its place; the staging folder goes afterwards. Returns the
  // entries that did not reach their place: all of them when the staged
  // files or the journal could not be made durable, else those whose place
  // could not be taken (a folder there, a file locked for good). A moved
  // download that did not land goes back.
  std::vector<std::string> Commit();
  // Gives every moved download back and removes the staging folder with
  // everything staged.
  void Abandon();

  struct Rename {
    std::string staged;
    std::string entry;
  };

 private:
  bool WritePlan();

  std::string installFolder_;
  std::string downloadFolder_;
  std::string stagingFolder_;
  std::vector<std::string> plan_;
  enum class PlanState { NotWritten, Written, Failed } planState_ = PlanState::NotWritten;
  std::size_t reserved_ = 0;
  std::vector<Rename> renames_;
  std::string last_;  // the entry of the file that lands last
};

// Once the configuration is loaded: completes the renames of a complete
// journal a killed run left in the installation folder, gives what it had
// moved in and did not land back to the download folder (unless that is ""
// because it cannot be used), and removes the staging folder. True when
// nothing is left of it.
bool RecoverInstallation(const std::string& installFolder, const std::string& downloadFolder);
