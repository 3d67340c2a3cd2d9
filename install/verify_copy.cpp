// The two passes over the install list once the main program is closed:
// verification drops every downloaded file that equals the installed one,
// copying puts the others in place.
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <unordered_set>

#include "base/strings.h"
#include "install/install.h"
#include "platform/clock.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/locale.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/retry.h"
#include "resources/texts.h"

namespace install {

namespace {

constexpr std::size_t kBlockSize = 65536;
constexpr int kTemporaryNameAttempts = 8;

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

// A name of its own in the destination's folder, created exclusively so no
// other file is ever overwritten by it.
Stream CreateTemporaryBeside(const std::string& dest, std::string& temporary) {
  static std::mt19937_64 random{std::random_device{}()};
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%016llx.tmp", static_cast<unsigned long long>(random()));
    temporary = ExtractFilePath(dest) + "~" + ExtractFileName(dest) + suffix;
    if (Stream stream = OpenUnbuffered(temporary, FileOpenMode::CreateNew)) return stream;
    if (!DirectoryExists(ExtractFilePath(dest))) break;
  }
  temporary.clear();
  return nullptr;
}

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

bool ReplaceWithRetries(const std::string& temporary, const std::string& dest) {
  for (int attempt = 1; attempt <= kFileRetryAttempts; ++attempt) {
    if (ReplaceFileWith(temporary, dest)) return true;
    // A folder in the destination's place can never be replaced by a file.
    if (DirectoryExists(dest)) return false;
    if (attempt < kFileRetryAttempts) PauseAnsweringMs(kFileRetryPauseMs);
  }
  return false;
}

// The new content is written beside the destination and takes its place
// only when it is complete and on disk, so an installed file is never left
// half-written (full disk, killed process); on failure the old one stays.
bool CopyIntoPlace(const std::string& source, const std::string& dest, TDateTime date,
                   RunContext& run) {
  Stream in = OpenUnbuffered(source, FileOpenMode::ReadDenyWrite);
  if (!in) return false;
  std::string temporary;
  Stream out = CreateTemporaryBeside(dest, temporary);
  if (!out) return false;
  bool complete = CopyBlocks(in.get(), out.get(), run) && FlushFileToDisk(out.get());
  complete = std::fclose(out.release()) == 0 && complete;
  if (complete) {
    SetFileDateWithRetries(temporary, date);
    complete = ReplaceWithRetries(temporary, dest);
  }
  if (!complete) DeleteFileWithRetries(temporary);
  return complete;
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
      if (!IsSpecialEntry(entry, state.OwnExeName()) && FilesIdentical(state, run, source, dest)) {
        // Not copied; the installed file takes the date the next run compares.
        const TDateTime date = GetFileDateByName(source);
        if (FileExists(dest)) SetFileDateWithRetries(dest, date);
        state.MaxSize -= GetFileSizeByName(source);
        DeleteFileWithRetries(source);
      } else {
        state.AktSize += GetFileSizeByName(source);
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
  if (!FileExists(fileA) || !FileExists(fileB)) return false;
  if (GetFileSizeByName(fileA) != GetFileSizeByName(fileB)) return false;
  const Stream a = OpenForComparison(fileA);
  const Stream b = OpenForComparison(fileB);
  BlockBuffers& buffers = Buffers();
  for (;;) {
    if (state.CancelS) return false;
    run.ProcessMessages();
    const std::size_t countA = ReadBlock(a.get(), buffers.first.data());
    const std::size_t countB = ReadBlock(b.get(), buffers.second.data());
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

  for (const std::string& entry : state.OrdnerFiles) {
    run.ProcessMessages();
    if (state.CancelS) return false;
    if (IsSpecialEntry(entry, state.OwnExeName())) {
      // This entry and all after it are left for the second copy.
      state.StartUpdater2S = true;
      return false;
    }
    const std::string source = state.DownloadOrdner + entry;
    const std::string dest = state.InstallOrdner + entry;
    const std::string folderPart = ExtractFilePath(entry);
    if (!folderPart.empty()) ForceDirectories(state.InstallOrdner + folderPart);
    // An empty download is removed without being installed.
    if (const std::int64_t size = GetFileSizeByName(source); size > 0) {
      // CopyOneFile has reported its failure; the pass ends with it.
      if (!CopyOneFile(run, source, dest)) return false;
      if (IsUpdaterProgram(entry)) MarkExecutable(dest);
      if (recorded.insert(UpperCaseLocale(dest)).second) state.UninstSl.lines.push_back(dest);
      state.AktSize += size;
      run.ShowProgress(ProgressPosition(state.MaxSize, state.AktSize), ProgressHint::Kopiere);
      if (state.CopiedMarker() != "1" && !state.SaveCopiedMarker("1")) return false;
    }
    DeleteFileWithRetries(source);
  }
  return true;
}

bool CopyOneFile(RunContext& run, const std::string& source, const std::string& dest) {
  if (GetFileSizeByName(source) <= 0) return false;  // missing or empty
  const TDateTime date = GetFileDateByName(source);
  if (!CopyIntoPlace(source, dest, date, run)) {
    run.Fail(FormatText(kMsgCopyFileFailed, {source, dest}));
    return false;
  }
  return true;
}

}  // namespace install
