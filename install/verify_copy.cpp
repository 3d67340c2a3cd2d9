// The two passes over the install list once the main program is closed:
// verification drops every downloaded file that equals the installed one,
// copying puts the others in place.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <unordered_set>

#include "base/strings.h"
#include "install/install.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/locale.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/retry.h"
#include "resources/texts.h"
#include "run/install_journal.h"

namespace install {

namespace {

constexpr std::size_t kBlockSize = 65536;

// The two fixed block buffers both passes share (one thread only).
struct BlockBuffers {
  std::array<char, kBlockSize> first;
  std::array<char, kBlockSize> second;
};

BlockBuffers& Buffers() {
  static BlockBuffers buffers;
  return buffers;
}

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
  if (!stream) throw std::runtime_error("cannot open " + path);
  return stream;
}

std::size_t ReadBlock(std::FILE* stream, char* block) {
  const std::size_t count = std::fread(block, 1, kBlockSize, stream);
  if (count < kBlockSize && std::ferror(stream) != 0) throw std::runtime_error("read failed");
  return count;
}

// ---- Copying ----

// Block by block; the window stays live between blocks.
bool CopyBlocks(std::FILE* in, std::FILE* out, RunContext& run) {
  char* block = Buffers().first.data();
  for (;;) {
    run.ProcessMessages();
    const std::size_t count = std::fread(block, 1, kBlockSize, in);
    if (count > 0 && std::fwrite(block, 1, count, out) != count) return false;  // disk full
    if (count < kBlockSize) return std::ferror(in) == 0;
  }
}

}  // namespace

// ---- Verification ----

bool VerifyFiles(RunState& state, RunContext& run) {
  try {
    for (const std::string& entry : state.OrdnerFiles) {
      run.ProcessMessages();
      if (state.CancelS) return false;
      const std::string source = state.DownloadOrdner + entry;
      const std::string dest = state.InstallOrdner + entry;
      // Also lets the copy overwrite a read-only installed file later.
      ClearFileAttributes(source);
      ClearFileAttributes(dest);
      const FileFacts downloaded = GetFileFacts(source);
      if (!IsSpecialEntry(entry, state.OwnExeName()) && FilesIdentical(state, run, source, dest)) {
        // Not copied; the installed file takes the date the next run compares.
        SetFileDateWithRetries(dest, downloaded.date);
        state.MaxSize -= downloaded.size;
        DeleteFileWithRetries(source);
      } else {
        state.AktSize += downloaded.size;
      }
      run.ShowProgress(ProgressPosition(state.MaxSize, state.AktSize), ProgressHint::Pruefe);
    }
    return true;
  } catch (const std::exception&) {
    run.Fail(kMsgVerifyFailed);
    return false;
  }
}

bool FilesIdentical(RunState& state, RunContext& run, const std::string& fileA,
                    const std::string& fileB) {
  const FileFacts a = GetFileFacts(fileA);
  const FileFacts b = GetFileFacts(fileB);
  if (!a.isFile || !b.isFile || a.size != b.size) return false;
  const Stream streamA = OpenForComparison(fileA);
  const Stream streamB = OpenForComparison(fileB);
  BlockBuffers& buffers = Buffers();
  for (;;) {
    if (state.CancelS) return false;
    run.ProcessMessages();
    const std::size_t countA = ReadBlock(streamA.get(), buffers.first.data());
    const std::size_t countB = ReadBlock(streamB.get(), buffers.second.data());
    if (countA != countB || std::memcmp(buffers.first.data(), buffers.second.data(), countA) != 0) {
      return false;
    }
    if (countA < kBlockSize) return true;  // the end of A
  }
}

// ---- Copying ----

bool CopyFiles(RunState& state, RunContext& run) {
  // The uninstall list's entries in one letter case, so that recording each
  // installed file stays one lookup however long the list grows.
  std::unordered_set<std::string> recorded;
  for (const std::string& line : state.UninstSl.lines) recorded.insert(UpperCaseLocale(line));

  // Staging stops at a cancel, at what only the second copy can replace and
  // at a file that cannot be staged; what was staged lands as one.
  InstallJournal journal(state.InstallOrdner);
  std::vector<std::string> staged;
  bool complete = true;
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
    // CopyOneFile has reported its failure; the pass ends with it.
    const std::string source = state.DownloadOrdner + entry;
    const FileFacts downloaded = GetFileFacts(source);
    if (!CopyOneFile(run, journal, source, downloaded, entry)) {
      complete = false;
      break;
    }
    staged.push_back(entry);
    state.AktSize += downloaded.size;
    run.ShowProgress(ProgressPosition(state.MaxSize, state.AktSize), ProgressHint::Kopiere);
  }
  if (staged.empty()) {
    journal.Abandon();  // a staging folder a failed first file left
    return complete;
  }

  // The marker and the uninstall list name what is about to land, so that a
  // kill during the renames loses neither.
  for (const std::string& entry : staged) {
    const std::string dest = state.InstallOrdner + entry;
    if (recorded.insert(UpperCaseLocale(dest)).second) state.UninstSl.lines.push_back(dest);
  }
  if ((state.CopiedMarker() != "1" && !state.SaveCopiedMarker("1")) ||
      !SaveListFile(state.UninstFilename, state.UninstSl)) {
    journal.Abandon();
    return false;
  }
  const std::vector<std::string> notInstalled = journal.Commit();
  for (const std::string& entry : staged) {
    if (std::find(notInstalled.begin(), notInstalled.end(), entry) != notInstalled.end()) continue;
    if (IsUpdaterProgram(entry)) MarkExecutable(state.InstallOrdner + entry);
    DeleteFileWithRetries(state.DownloadOrdner + entry);
  }
  if (!notInstalled.empty()) {
    const std::string& entry = notInstalled.front();
    run.Fail(FormatText(kMsgCopyFileFailed,
                        {state.DownloadOrdner + entry, state.InstallOrdner + entry}));
    return false;
  }
  return complete;
}

bool CopyOneFile(RunContext& run, InstallJournal& journal, const std::string& source,
                 const FileFacts& downloaded, const std::string& entry) {
  // A place the file can never take fails it before anything lands.
  Stream in = OpenUnbuffered(source, FileOpenMode::ReadDenyWrite);
  std::string stagedPath;
  Stream out;
  if (in) out.reset(journal.Stage(entry, stagedPath));
  const bool opened = out != nullptr;
  if (opened) std::setvbuf(out.get(), nullptr, _IONBF, 0);
  bool staged = in && out && CopyBlocks(in.get(), out.get(), run);
  if (out) staged = std::fclose(out.release()) == 0 && staged;
  // The installed file takes the downloaded one's date, which the next run
  // compares with the server's.
  if (staged) staged = SetFileDateWithRetries(stagedPath, downloaded.date);
  // A new file takes the downloaded one's permission bits (an archive's, or
  // the usual ones); one that replaces an installed file keeps that file's.
  if (staged && downloaded.permissionBits != 0) {
    SetPermissionBits(stagedPath, downloaded.permissionBits);
  }
  if (!staged) {
    if (opened) journal.DiscardLast();
    run.Fail(FormatText(kMsgCopyFileFailed, {source, journal.InstallFolder() + entry}));
  }
  return staged;
}

}  // namespace install
