// The two passes over the install list once the main program is closed:
// verification drops every downloaded file that equals the installed one,
// copying stages the others and lets them land as one. Each side of an entry
// is looked at once: the install list saw the download, verification sees
// the installed file, and staging goes by what both saw.
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <unordered_set>

#include "base/date_time.h"
#include "base/strings.h"
#include "install/install.h"
#include "platform/clock.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/locale.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/retry.h"
#include "platform/system_failure.h"
#include "resources/texts.h"
#include "run/install_journal.h"
#include "run/installed_record.h"

namespace install {

namespace {

constexpr std::size_t kBlockSize = 65536;

// A block buffer of the call that reads with it: nothing is shared between
// calls or threads, and nothing is cleared that is read over at once.
std::unique_ptr<char[]> NewBlock() { return std::make_unique_for_overwrite<char[]>(kBlockSize); }

struct StreamCloser {
  void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using Stream = std::unique_ptr<std::FILE, StreamCloser>;

// ---- Shared helpers ----

// The running updater and the screen-reader library it holds loaded can only
// be replaced by the second copy; only whole entries (top of the folder) count.
// The second copy holds the library too, but puts the new one in its place
// (a file in use is moved aside): were it special there as well, every copy
// would restart the next one forever.
bool IsSpecialEntry(const std::string& entry, const std::string& ownExeName) {
  const bool runningAsSecondCopy = SameText(ownExeName, std::string(kSecondCopyName) + kExeSuffix);
  return SameText(entry, ownExeName) || (!runningAsSecondCopy && SameText(entry, kNvdaLibraryName));
}

// The updater's two programs arrive without permission bits; the restart
// from the second copy must be able to start what was installed.
bool IsUpdaterProgram(const std::string& entry) {
  return SameText(entry, std::string(kFirstCopyName) + kExeSuffix) ||
         SameText(entry, std::string(kSecondCopyName) + kExeSuffix);
}

int ProgressPosition(std::int64_t maxSize, std::int64_t aktSize) {
  return static_cast<int>(CalcPercent(100, maxSize, aktSize));
}

// What the install list saw of the entry; one a caller named itself is
// looked at now.
TListedFile& Listed(RunState& state, const std::string& entry) {
  const auto found = state.OrdnerFacts.find(entry);
  if (found != state.OrdnerFacts.end()) return found->second;
  return state.OrdnerFacts[entry] = {GetFileFacts(state.DownloadOrdner + entry), std::nullopt};
}

// With release keys, the signed SHA-256 of the entry's download; nullptr
// when it is not known.
const std::string* SignedSha256(const RunState& state, const std::string& entry) {
  if (state.ReleaseKeys.empty()) return nullptr;
  const auto found = state.WaitingSha256.find(BackslashToSlash(entry));
  return found != state.WaitingSha256.end() ? &found->second : nullptr;
}

// Gives the file the date, cut to the 2-second steps SetFileDateByName keeps,
// unless `facts` show it has that date already (a download was dated so);
// the facts keep the date it has. False when the date cannot be set.
bool GiveDate(const std::string& path, FileFacts& facts, TDateTime date) {
  TDateTime cut = 0;
  if (TruncateToDosTime(date, cut) &&
      FormatDateToMillisecond(cut) == FormatDateToMillisecond(facts.date)) {
    return true;
  }
  if (!SetFileDateWithRetries(path, date)) return false;
  facts.date = cut;
  return true;
}

// Unbuffered, so every block is one read or write of the system.
Stream OpenUnbuffered(const std::string& path, FileOpenMode mode) {
  Stream stream(OpenFile(path, mode));
  if (stream) std::setvbuf(stream.get(), nullptr, _IONBF, 0);
  return stream;
}

// ---- Comparing ----

// Verification treats a file it cannot read as an error of the pass.
Stream OpenForComparison(const std::string& path) {
  Stream stream = OpenUnbuffered(path, FileOpenMode::ReadDenyWrite);
  if (!stream) throw FailureError(LastSystemFailure("open", path));
  return stream;
}

std::size_t ReadBlock(std::FILE* stream, const std::string& path, char* block) {
  const std::size_t count = std::fread(block, 1, kBlockSize, stream);
  if (count < kBlockSize && std::ferror(stream) != 0) {
    throw FailureError(LastSystemFailure("read", path));
  }
  return count;
}

// Two files of one size, byte for byte.
bool ContentsIdentical(RunState& state, RunContext& run, const std::string& fileA,
                       const std::string& fileB) {
  const Stream streamA = OpenForComparison(fileA);
  const Stream streamB = OpenForComparison(fileB);
  const std::unique_ptr<char[]> blockA = NewBlock();
  const std::unique_ptr<char[]> blockB = NewBlock();
  for (;;) {
    if (state.CancelS) return false;
    run.ProcessMessages();
    const std::size_t countA = ReadBlock(streamA.get(), fileA, blockA.get());
    const std::size_t countB = ReadBlock(streamB.get(), fileB, blockB.get());
    if (countA != countB || std::memcmp(blockA.get(), blockB.get(), countA) != 0) {
      return false;
    }
    if (countA < kBlockSize) return true;  // the end of A
  }
}

// Where the record vouches for the installed file, its hash and the signed
// one decide; otherwise the bytes do.
bool SameAsInstalled(RunState& state, RunContext& run, const std::string& entry,
                     const FileFacts& downloaded, const FileFacts& installed) {
  if (!downloaded.isFile || !installed.isFile || downloaded.size != installed.size) return false;
  if (const std::string* signedSha256 = SignedSha256(state, entry)) {
    const std::string* recorded =
        TrustedSha256(state.Installed, BackslashToSlash(entry), installed);
    if (recorded != nullptr) return *recorded == *signedSha256;
  }
  return ContentsIdentical(state, run, state.DownloadOrdner + entry, state.InstallOrdner + entry);
}

// With release keys, what the run now knows of an installed file joins the
// record; a file whose bytes it does not know leaves it.
void RecordInstalled(RunState& state, const std::string& entry, const FileFacts& installed) {
  if (state.ReleaseKeys.empty()) return;
  const std::string path = BackslashToSlash(entry);
  if (const std::string* signedSha256 = SignedSha256(state, entry)) {
    RecordFile(state.Installed, path, installed, *signedSha256);
  } else {
    state.Installed.erase(path);
  }
}

// ---- Copying ----

// Block by block; the window stays live between blocks, and a cancel ends
// even the copy of a large file. Why the copy did not end whole (a cancel
// too); nullopt when it is whole.
std::optional<Failure> CopyBlocks(std::FILE* in, const std::string& source, std::FILE* out,
                                  const std::string& staged, RunState& state, RunContext& run) {
  const std::unique_ptr<char[]> buffer = NewBlock();
  char* block = buffer.get();
  for (;;) {
    run.ProcessMessages();
    if (state.CancelS)
      return Failure{FailureKind::Cancelled, FailureCode::None, 0, "copy", source, ""};
    const std::size_t count = std::fread(block, 1, kBlockSize, in);
    if (count > 0 && std::fwrite(block, 1, count, out) != count) {
      return LastSystemFailure("write", staged);
    }
    if (count < kBlockSize) {
      if (std::ferror(in) != 0) return LastSystemFailure("read", source);
      return std::nullopt;
    }
  }
}

// The download copied into the reserved staged file; why it was not, or
// nullopt.
std::optional<Failure> CopyIntoStaged(RunState& state, RunContext& run, InstallJournal& journal,
                                      const std::string& source, const std::string& staged) {
  Stream in = OpenUnbuffered(source, FileOpenMode::ReadDenyWrite);
  if (!in) return LastSystemFailure("open", source);
  Stream out(journal.CreateStaged());
  if (!out) return LastSystemFailure("create", staged);
  std::setvbuf(out.get(), nullptr, _IONBF, 0);
  std::optional<Failure> failure = CopyBlocks(in.get(), source, out.get(), staged, state, run);
  if (std::fclose(out.release()) != 0 && !failure) failure = LastSystemFailure("write", staged);
  return failure;
}

// What may be staged: everything before the first entry that only the second
// copy can replace.
std::vector<std::string> EntriesBeforeTheSecondCopy(const RunState& state) {
  std::vector<std::string> entries;
  for (const std::string& entry : state.OrdnerFiles) {
    if (IsSpecialEntry(entry, state.OwnExeName())) break;
    entries.push_back(entry);
  }
  return entries;
}

}  // namespace

// ---- Verification ----

bool VerifyFiles(RunState& state, RunContext& run) {
  try {
    std::vector<std::string> differing;
    for (const std::string& entry : state.OrdnerFiles) {
      run.ProcessMessages();
      if (state.CancelS) return false;
      const std::string source = state.DownloadOrdner + entry;
      const std::string dest = state.InstallOrdner + entry;
      TListedFile& listed = Listed(state, entry);
      FileFacts installed = GetFileFacts(dest);
      // Also lets the copy overwrite a read-only installed file later.
      ClearFileAttributesIfSet(source, listed.Downloaded);
      ClearFileAttributesIfSet(dest, installed);
      if (!IsSpecialEntry(entry, state.OwnExeName()) &&
          SameAsInstalled(state, run, entry, listed.Downloaded, installed)) {
        // Not copied; the installed file takes the date the next run compares.
        GiveDate(dest, installed, listed.Downloaded.date);
        RecordInstalled(state, entry, installed);
        state.MaxSize -= listed.Downloaded.size;
        DeleteFileWithRetries(source);
      } else {
        listed.Installed = installed;
        differing.push_back(entry);
        state.AktSize += listed.Downloaded.size;
      }
      run.ShowProgress(ProgressPosition(state.MaxSize, state.AktSize), ProgressHint::Pruefe);
    }
    state.OrdnerFiles = std::move(differing);
    return true;
  } catch (const FailureError& error) {
    run.Fail(kMsgVerifyFailed, error.failure());
    return false;
  } catch (const std::exception& error) {
    run.Fail(kMsgVerifyFailed,
             {FailureKind::System, FailureCode::None, 0, "verify", "", error.what()});
    return false;
  }
}

bool FilesIdentical(RunState& state, RunContext& run, const std::string& fileA,
                    const std::string& fileB) {
  const FileFacts a = GetFileFacts(fileA);
  const FileFacts b = GetFileFacts(fileB);
  return a.isFile && b.isFile && a.size == b.size && ContentsIdentical(state, run, fileA, fileB);
}

// ---- Copying ----

bool CopyFiles(RunState& state, RunContext& run) {
  // The uninstall list's entries in one letter case, so that recording each
  // installed file stays one lookup however long the list grows.
  std::unordered_set<std::string> recorded;
  for (const std::string& line : state.UninstSl.lines) recorded.insert(UpperCaseLocale(line));

  // Staging stops at a cancel, at what only the second copy can replace and
  // at a file that cannot be staged; what was staged lands as one.
  InstallJournal journal(state.InstallOrdner, state.DownloadOrdner);
  journal.Plan(EntriesBeforeTheSecondCopy(state));
  std::vector<StagedFile> staged;
  bool complete = true;
  state.AktSize = 0;
  for (const std::string& entry : state.OrdnerFiles) {
    run.ProcessMessages();
    if (state.CancelS) {
      complete = false;
      break;
    }
    if (IsSpecialEntry(entry, state.OwnExeName())) {
      // This entry and all after it are left for the second copy.
      state.StartUpdater2S = true;
      complete = false;
      break;
    }
    // CopyOneFile has reported its failure, or a cancel stopped it; the
    // pass ends with it.
    StagedFile file{entry, {}, false};
    if (!CopyOneFile(state, run, journal, Listed(state, entry), file)) {
      complete = false;
      break;
    }
    staged.push_back(file);
    state.AktSize += file.facts.size;
    run.ShowProgress(ProgressPosition(state.MaxSize, state.AktSize), ProgressHint::Kopiere);
  }
  if (staged.empty()) {
    journal.Abandon();  // a staging folder a failed first file left
    return complete;
  }

  // With release keys the record of what was installed lands last, naming
  // the staged files as they will be.
  std::vector<std::string> landing;
  for (const StagedFile& file : staged) landing.push_back(state.InstallOrdner + file.entry);
  if (!state.ReleaseKeys.empty()) {
    for (const StagedFile& file : staged) RecordInstalled(state, file.entry, file.facts);
    if (!journal.StageLast(kInstalledRecordName, InstalledRecordText(state.Installed))) {
      journal.Abandon();
      return false;
    }
    landing.push_back(state.InstalledRecordFilename());
  }
  // The marker and the uninstall list name what is about to land, so that a
  // kill during the renames loses neither.
  for (const std::string& dest : landing) {
    if (recorded.insert(UpperCaseLocale(dest)).second) state.UninstSl.lines.push_back(dest);
  }
  if ((state.CopiedMarker() != "1" && !state.SaveCopiedMarker("1")) ||
      !SaveListFile(state.UninstFilename, state.UninstSl)) {
    journal.Abandon();
    return false;
  }
  // Landing takes the disk seconds where files are large: flushing them,
  // and dropping the replaced ones and the copied downloads. The window
  // answers meanwhile; nothing stops the landing any more.
  std::vector<std::string> failed;
  AnswerWhileWaitingFor([&] {
    failed = journal.Commit();
    const std::unordered_set<std::string> notInstalled(failed.begin(), failed.end());
    for (const StagedFile& file : staged) {
      if (notInstalled.count(file.entry) != 0) continue;
      if (IsUpdaterProgram(file.entry)) MarkExecutable(state.InstallOrdner + file.entry);
      // A copied download goes once it has landed; a moved one is gone.
      if (!file.moved) DeleteFileWithRetries(state.DownloadOrdner + file.entry);
    }
    return true;
  });
  if (!failed.empty()) {
    const std::string& entry = failed.front();
    run.Fail(
        FormatText(kMsgCopyFileFailed, {state.DownloadOrdner + entry, state.InstallOrdner + entry}),
        {FailureKind::System, FailureCode::None, 0, "put in place", state.InstallOrdner + entry,
         "the staged file did not land"});
    return false;
  }
  return complete;
}

bool CopyOneFile(RunState& state, RunContext& run, InstallJournal& journal,
                 const TListedFile& listed, StagedFile& file) {
  const std::string source = state.DownloadOrdner + file.entry;
  const FileFacts& downloaded = listed.Downloaded;
  // Verification saw whether a file is in the place, so that it need not be
  // looked at again.
  const bool placeReady =
      listed.Installed && listed.Installed->isFile && listed.Installed->attributesClear;
  const std::string dest = journal.InstallFolder() + file.entry;
  std::string stagedPath;
  const bool reserved = journal.Reserve(file.entry, placeReady, stagedPath);
  std::optional<Failure> failure;
  if (!reserved) failure = LastSystemFailure("stage", dest);
  if (reserved) {
    file.moved = journal.MoveDownloadIn();
    file.facts = downloaded;
    if (!file.moved) {
      failure = CopyIntoStaged(state, run, journal, source, stagedPath);
      if (failure && failure->kind == FailureKind::Cancelled) {
        // No half-copied file lands; the cancel is no failure.
        journal.DiscardLast();
        return false;
      }
      // A new file takes the downloaded one's permission bits (an archive's,
      // or the usual ones); it is dated now.
      if (!failure && downloaded.permissionBits != 0) {
        SetPermissionBits(stagedPath, downloaded.permissionBits);
      }
      file.facts.date = 0;
    }
  }
  // The installed file takes the downloaded one's date, which the next run
  // compares with the server's. One that replaces an installed file keeps
  // that file's permission bits as it lands.
  if (!failure && !GiveDate(stagedPath, file.facts, downloaded.date)) {
    failure = LastSystemFailure("set the date of", stagedPath);
  }
  if (failure) {
    if (reserved) journal.DiscardLast();
    run.Fail(FormatText(kMsgCopyFileFailed, {source, dest}), *failure);
  }
  return !failure;
}

}  // namespace install
