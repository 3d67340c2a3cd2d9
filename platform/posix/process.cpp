// Named mutexes as record locks on files in the runtime folder, detached
// program starts and the own executable path for POSIX systems.
#include "platform/process.h"

#include <cerrno>
#include <cstdint>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/strings.h"
#include "platform/posix/file_lock.h"
#include "platform/posix/runtime_folder.h"

// ---- Named mutex state ----

struct NamedMutex::Impl {
  int fd = -1;  // holds the lock while the mutex is ours
  std::string path;
  bool valid = false;
  bool alreadyExisted = false;
};

namespace {

// ---- Mutex files ----

// A released mutex removes its file; a lock taken on a removed file is void.
bool StillNamedBy(int fd, const std::string& path) {
  struct stat opened {
  }, named{};
  return fstat(fd, &opened) == 0 && lstat(path.c_str(), &named) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

std::uint64_t Fnv1a(const std::string& text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

std::string Hex(std::uint64_t value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text(digits, '0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 15];
  return text;
}

// Every byte outside [A-Za-z0-9._-] as "%XX", so any name maps to its own
// file name and names differing only in case stay apart. Names too long for
// a file name keep a prefix plus a hash of the whole ("~" never occurs in an
// encoded name).
std::string MutexFileName(const std::string& name) {
  std::string encoded;
  for (unsigned char c : name) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '_' || c == '-';
    if (plain) {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += Hex(c, 2);
    }
  }
  constexpr std::size_t kMaxEncoded = 200;
  if (encoded.size() > kMaxEncoded)
    encoded = encoded.substr(0, kMaxEncoded) + "~" + Hex(Fnv1a(name), 16);
  return encoded + ".lock";
}

std::string MutexPath(const std::string& name) {
  const std::string folder = RuntimeSubfolder("mutex");
  return folder.empty() ? std::string() : folder + MutexFileName(name);
}

// ---- Program start ----

// Reports an errno value through the pipe and ends the forked process.
[[noreturn]] void FailChild(int errorPipe) {
  const int error = errno;
  [[maybe_unused]] const ssize_t written = write(errorPipe, &error, sizeof error);
  _exit(127);
}

}  // namespace

// ---- Named mutex ----

NamedMutex NamedMutex::Create(const std::string& name) {
  NamedMutex mutex;
  mutex.impl_ = std::make_unique<Impl>();
  Impl& impl = *mutex.impl_;
  if (name.empty()) {  // an unnamed mutex: nobody else can ask for it
    impl.valid = true;
    return mutex;
  }
  impl.path = MutexPath(name);
  if (impl.path.empty()) return mutex;
  for (;;) {
    const int fd = open(impl.path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return mutex;
    if (!LockWholeFile(fd)) {
      const bool held = errno == EAGAIN || errno == EACCES;
      close(fd);
      impl.valid = held;
      impl.alreadyExisted = held;
      return mutex;
    }
    if (StillNamedBy(fd, impl.path)) {
      impl.fd = fd;
      impl.valid = true;
      return mutex;
    }
    close(fd);  // the previous holder removed this file while we opened it
  }
}

NamedMutex::NamedMutex() = default;
NamedMutex::NamedMutex(NamedMutex&&) noexcept = default;

NamedMutex& NamedMutex::operator=(NamedMutex&& other) noexcept {
  if (this != &other) {
    Close();
    impl_ = std::move(other.impl_);
  }
  return *this;
}

NamedMutex::~NamedMutex() { Close(); }

bool NamedMutex::Valid() const { return impl_ && impl_->valid; }

bool NamedMutex::AlreadyExisted() const { return impl_ && impl_->alreadyExisted; }

void NamedMutex::Close() {
  if (!impl_) return;
  if (impl_->fd >= 0) {
    // Removed while still locked, so a new holder always locks a new file.
    unlink(impl_->path.c_str());
    close(impl_->fd);
  }
  impl_.reset();
}

bool MutexExists(const std::string& name) {
  if (name.empty()) return false;
  const std::string path = MutexPath(name);
  if (path.empty()) return false;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  const bool held = IsLockedByAnyone(fd);
  close(fd);
  return held;
}

// ---- Programs ----

bool StartProgram(const std::string& file, const std::string& parameters) {
  if (file.empty()) return false;
  std::vector<std::string> arguments = SplitCommandLine(parameters);
  arguments.insert(arguments.begin(), file);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  int errorPipe[2];
  if (pipe2(errorPipe, O_CLOEXEC) != 0) return false;
  // Double fork: the program becomes a child of init in a session of its
  // own and outlives us; we reap the short-lived middle process at once.
  // Between fork and exec only async-signal-safe calls are made.
  const pid_t middle = fork();
  if (middle < 0) {
    close(errorPipe[0]);
    close(errorPipe[1]);
    return false;
  }
  if (middle == 0) {
    close(errorPipe[0]);
    setsid();
    const pid_t program = fork();
    if (program < 0) FailChild(errorPipe[1]);
    if (program == 0) {
      execvp(argv[0], argv.data());
      FailChild(errorPipe[1]);
    }
    _exit(0);
  }
  close(errorPipe[1]);
  int status = 0;
  while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes without data when exec succeeded.
  int childError = 0;
  ssize_t got;
  while ((got = read(errorPipe[0], &childError, sizeof childError)) < 0 && errno == EINTR) {
  }
  close(errorPipe[0]);
  return got == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string GetExecutablePath() {
  std::string path(256, '\0');
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < path.size()) {
      path.resize(static_cast<std::size_t>(length));
      // A program file deleted while running (replaced by an update) keeps
      // the path it was started from, as Windows reports it.
      static const std::string kDeleted = " (deleted)";
      if (path.size() > kDeleted.size() && path.ends_with(kDeleted) &&
          access(path.c_str(), F_OK) != 0) {
        path.resize(path.size() - kDeleted.size());
      }
      return path;
    }
    path.resize(path.size() * 2);
  }
}
