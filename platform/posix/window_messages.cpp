// Top-level windows for POSIX systems: every window of the user's processes
// is a listening UNIX-domain socket in "<runtime>/windows/" with a record of
// its title and stacking position. A message is sent over one connection
// and acknowledged only after the receiver's handler has returned.
#include "platform/window_messages.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/posix/file_lock.h"
#include "platform/posix/message_window_posix.h"
#include "platform/posix/runtime_folder.h"
#include "platform/posix/utf8_text.h"

static_assert(sizeof(WindowHandle) >= 8, "handles carry the process id in their upper bits");

struct MessageWindow::Impl {
  WindowHandle handle = 0;
  std::string title;
  Handler handler;
  std::function<void()> onRaised;
  // Empty when the window could not be listed; it still gets messages sent
  // from this process.
  std::string folder;
  std::string base;  // folder + file stem shared by the window's files
  int lockFd = -1;   // locked while the window exists
  int listenFd = -1;
  std::vector<int> connections;  // accepted, message not read yet
};

namespace {

using Window = MessageWindow::Impl;

// GetWindowText with a buffer of MAX_PATH characters.
constexpr std::size_t kTitleReadLimit = 260;

// ---- Own windows ----

std::vector<Window*>& OwnWindows() {
  static std::vector<Window*> windows;
  return windows;
}

Window* FindOwnWindow(WindowHandle handle) {
  for (Window* window : OwnWindows()) {
    if (window->handle == handle) return window;
  }
  return nullptr;
}

bool IsOwnWindow(const Window* candidate) {
  const auto& windows = OwnWindows();
  return std::find(windows.begin(), windows.end(), candidate) != windows.end();
}

// The process id in the upper bits keeps handles of all processes apart.
WindowHandle NextHandle() {
  static std::uint32_t serial = 0;
  serial = (serial + 1) & 0xFFFFF;
  if (serial == 0) serial = 1;
  return (static_cast<WindowHandle>(getpid()) << 20) | serial;
}

// ---- Window files ----

std::string FileStem(WindowHandle handle) {
  char text[17];
  const auto end = std::to_chars(text, text + sizeof text, static_cast<std::uint64_t>(handle), 16);
  return std::string(text, end.ptr);
}

std::optional<WindowHandle> HandleFromRecordName(const std::string& fileName) {
  constexpr std::string_view kSuffix = ".rec";
  if (!fileName.ends_with(kSuffix)) return std::nullopt;
  std::uint64_t value = 0;
  const char* last = fileName.data() + fileName.size() - kSuffix.size();
  const auto parsed = std::from_chars(fileName.data(), last, value, 16);
  if (parsed.ec != std::errc() || parsed.ptr != last || value == 0) return std::nullopt;
  return static_cast<WindowHandle>(value);
}

void RemoveWindowFiles(const std::string& base) {
  for (const char* suffix : {".rec", ".tmp", ".sock", ".lock"}) unlink((base + suffix).c_str());
}

// A window lives while its owner holds the lock on its lock file.
bool WindowAlive(const std::string& base) {
  const int fd = open((base + ".lock").c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  const bool alive = IsLockedByAnyone(fd);
  close(fd);
  return alive;
}

// ---- Records ----

// "<stacking position>\n<title>": the higher position is nearer the top.
struct Record {
  std::uint64_t position = 0;
  std::string title;
};

std::optional<std::string> ReadWholeFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return std::nullopt;
  std::string content;
  char buffer[4096];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
    if (got > 0) content.append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  return content;
}

bool WriteWholeFile(int fd, const std::string& content) {
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t put = write(fd, content.data() + done, content.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

std::optional<Record> ReadRecord(const std::string& base) {
  const auto content = ReadWholeFile(base + ".rec");
  if (!content) return std::nullopt;
  const std::size_t lineEnd = content->find('\n');
  if (lineEnd == std::string::npos) return std::nullopt;
  Record record;
  const auto parsed = std::from_chars(content->data(), content->data() + lineEnd, record.position);
  if (parsed.ec != std::errc()) return std::nullopt;
  record.title = content->substr(lineEnd + 1);
  return record;
}

// Replaced in one step, so a reader never sees half a record.
bool WriteRecord(const std::string& base, const Record& record) {
  const std::string temporary = base + ".tmp";
  const int fd =
      open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  const bool written = WriteWholeFile(fd, std::to_string(record.position) + "\n" + record.title);
  close(fd);
  return written && rename(temporary.c_str(), (base + ".rec").c_str()) == 0;
}

// ---- Stacking order ----

// Serialises every record change of all processes and hands out increasing
// stacking positions, so the most recently raised window is on top even
// when two are raised at the same moment.
class StackingLock {
 public:
  explicit StackingLock(const std::string& folder)
      : fd_(open((folder + "stacking").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    int result = -1;
    while (fd_ >= 0 && (result = fcntl(fd_, F_OFD_SETLKW, &lock)) != 0 && errno == EINTR) {
    }
    locked_ = fd_ >= 0 && result == 0;
  }
  ~StackingLock() {
    if (fd_ >= 0) close(fd_);
  }
  StackingLock(const StackingLock&) = delete;
  StackingLock& operator=(const StackingLock&) = delete;

  bool Locked() const { return locked_; }

  std::uint64_t NextPosition() {
    char text[32];
    const ssize_t got = pread(fd_, text, sizeof text, 0);
    std::uint64_t position = 0;
    if (got > 0) std::from_chars(text, text + got, position);
    ++position;
    const std::string stored = std::to_string(position);
    if (pwrite(fd_, stored.data(), stored.size(), 0) == static_cast<ssize_t>(stored.size())) {
      [[maybe_unused]] const int truncated = ftruncate(fd_, static_cast<off_t>(stored.size()));
    }
    return position;
  }

 private:
  int fd_;
  bool locked_ = false;
};

// Changes a record under the stacking lock: a new title when one is given
// (the owner), the top position when raised. False when the record is gone
// and no title was given to make it anew.
bool UpdateRecord(const std::string& folder, const std::string& base, const std::string* title,
                  bool raise) {
  StackingLock stacking(folder);
  if (!stacking.Locked()) return false;
  Record record;
  if (auto current = ReadRecord(base)) {
    record = *current;
  } else if (title == nullptr) {
    return false;
  }
  if (title != nullptr) record.title = *title;
  if (raise) record.position = stacking.NextPosition();
  return WriteRecord(base, record);
}

// ---- Socket addresses ----

// A socket path too long for sun_path is reached through a descriptor of
// its folder in /proc, which stays open as long as the address is used.
class SocketAddress {
 public:
  explicit SocketAddress(const std::string& path) {
    std::string usable = path;
    if (usable.size() >= sizeof address_.sun_path) {
      const std::size_t slash = path.rfind('/');
      folderFd_ = open(path.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      if (folderFd_ < 0) return;
      usable = "/proc/self/fd/" + std::to_string(folderFd_) + path.substr(slash);
      if (usable.size() >= sizeof address_.sun_path) return;
    }
    address_.sun_family = AF_UNIX;
    std::memcpy(address_.sun_path, usable.c_str(), usable.size() + 1);
    valid_ = true;
  }
  ~SocketAddress() {
    if (folderFd_ >= 0) close(folderFd_);
  }
  SocketAddress(const SocketAddress&) = delete;
  SocketAddress& operator=(const SocketAddress&) = delete;

  bool Valid() const { return valid_; }
  const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&address_); }
  socklen_t Length() const { return sizeof address_; }

 private:
  sockaddr_un address_{};
  int folderFd_ = -1;
  bool valid_ = false;
};

// ---- Listing a window ----

void UnlistWindow(Window& window) {
  if (window.base.empty()) return;
  RemoveWindowFiles(window.base);
  if (window.listenFd >= 0) close(window.listenFd);
  if (window.lockFd >= 0) close(window.lockFd);
  window.listenFd = window.lockFd = -1;
  window.folder.clear();
  window.base.clear();
}

// Lock first and record last: a listed record always has a live lock
// unless its owner is gone.
bool ListWindow(Window& window) {
  window.folder = RuntimeSubfolder("windows");
  if (window.folder.empty()) return false;
  window.base = window.folder + FileStem(window.handle);
  window.lockFd = open((window.base + ".lock").c_str(),
                       O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (window.lockFd < 0 || !LockWholeFile(window.lockFd)) return false;
  const std::string socketPath = window.base + ".sock";
  unlink(socketPath.c_str());  // left by a dead process with our id
  SocketAddress address(socketPath);
  window.listenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (!address.Valid() || window.listenFd < 0 ||
      bind(window.listenFd, address.Get(), address.Length()) != 0 ||
      listen(window.listenFd, SOMAXCONN) != 0) {
    return false;
  }
  return UpdateRecord(window.folder, window.base, &window.title, true);
}

// ---- Receiving ----

void AcceptPending(Window& window) {
  for (;;) {
    const int connection = accept4(window.listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection >= 0) {
      window.connections.push_back(connection);
    } else if (errno != EINTR) {
      return;
    }
  }
}

// Taken off the list before the handler runs, so a handler that processes
// messages itself never sees this connection again.
void HandleConnection(Window& window, int connection) {
  auto& connections = window.connections;
  connections.erase(std::remove(connections.begin(), connections.end(), connection),
                    connections.end());
  std::uint32_t message = 0;
  ssize_t got;
  while ((got = recv(connection, &message, sizeof message, MSG_WAITALL)) < 0 && errno == EINTR) {
  }
  if (got == static_cast<ssize_t>(sizeof message) && window.handler) window.handler(message);
  const char acknowledgement = 1;
  [[maybe_unused]] const ssize_t sent = send(connection, &acknowledgement, 1, MSG_NOSIGNAL);
  close(connection);
}

std::vector<pollfd> PollEntries(const Window& window) {
  std::vector<pollfd> entries;
  if (window.listenFd >= 0) entries.push_back({window.listenFd, POLLIN, 0});
  for (int connection : window.connections) entries.push_back({connection, POLLIN, 0});
  return entries;
}

// One message per round: the handler may have changed the connection list.
void ServeMessages(Window& window, int timeoutMs) {
  int wait = timeoutMs;
  for (;;) {
    std::vector<pollfd> entries = PollEntries(window);
    if (poll(entries.data(), entries.size(), wait) <= 0) return;
    wait = 0;
    int ready = -1;
    for (const pollfd& entry : entries) {
      if (entry.revents == 0) continue;
      if (entry.fd == window.listenFd) {
        AcceptPending(window);
      } else if (ready < 0) {
        ready = entry.fd;
      }
    }
    if (ready >= 0) HandleConnection(window, ready);
  }
}

// ---- Sending ----

// Like SendMessage between threads: while waiting, messages sent to this
// process's own windows are handled, so two processes sending to each
// other never deadlock.
void AwaitAcknowledgement(int connection) {
  for (;;) {
    std::vector<pollfd> entries{{connection, POLLIN, 0}};
    const std::vector<Window*> windows = OwnWindows();
    for (const Window* window : windows) {
      const auto own = PollEntries(*window);
      entries.insert(entries.end(), own.begin(), own.end());
    }
    if (poll(entries.data(), entries.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (entries[0].revents != 0) {
      char acknowledgement;
      while (recv(connection, &acknowledgement, 1, 0) < 0 && errno == EINTR) {
      }
      return;  // acknowledged, or the receiver is gone
    }
    for (Window* window : windows) {
      if (IsOwnWindow(window)) ServeMessages(*window, 0);
    }
  }
}

void SendToOtherProcess(WindowHandle handle, unsigned message) {
  const std::string folder = RuntimeSubfolder("windows");
  if (folder.empty()) return;
  SocketAddress address(folder + FileStem(handle) + ".sock");
  if (!address.Valid()) return;
  const int connection = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connection < 0) return;
  int result;
  while ((result = connect(connection, address.Get(), address.Length())) != 0 && errno == EINTR) {
  }
  const std::uint32_t number = message;
  if (result == 0 && send(connection, &number, sizeof number, MSG_NOSIGNAL) ==
                         static_cast<ssize_t>(sizeof number)) {
    AwaitAcknowledgement(connection);
  }
  close(connection);
}

// ---- Finding ----

struct ListedWindow {
  WindowHandle handle;
  Record record;
};

// Live windows, top first; records of dead owners are removed on the way.
std::vector<ListedWindow> ListedWindowsTopFirst(const std::string& folder) {
  std::vector<ListedWindow> listed;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const auto handle = HandleFromRecordName(entry.path().filename().string());
    if (!handle) continue;
    const std::string base = folder + FileStem(*handle);
    auto record = ReadRecord(base);
    if (!record) continue;
    if (!WindowAlive(base)) {
      RemoveWindowFiles(base);
      continue;
    }
    listed.push_back({*handle, std::move(*record)});
  }
  std::sort(listed.begin(), listed.end(), [](const ListedWindow& a, const ListedWindow& b) {
    return a.record.position != b.record.position ? a.record.position > b.record.position
                                                  : a.handle > b.handle;
  });
  return listed;
}

}  // namespace

// ---- Port functions ----

WindowHandle FindWindowByTitleEnd(const std::string& text) {
  if (text.empty()) return 0;
  const std::string folder = RuntimeSubfolder("windows");
  if (folder.empty()) return 0;
  for (const ListedWindow& window : ListedWindowsTopFirst(folder)) {
    const std::string title = FirstCharacters(window.record.title, kTitleReadLimit);
    if (title.empty()) continue;
    const std::size_t found = title.find(text);
    if (found != std::string::npos && found + text.size() == title.size()) return window.handle;
  }
  return 0;
}

void SendWindowMessage(WindowHandle window, unsigned message) {
  if (window == 0) return;
  if (Window* own = FindOwnWindow(window)) {
    if (own->handler) own->handler(message);
    return;
  }
  SendToOtherProcess(window, message);
}

bool ForceWindowToFront(WindowHandle window) {
  if (window == 0) return false;
  if (Window* own = FindOwnWindow(window)) {
    if (!own->base.empty()) UpdateRecord(own->folder, own->base, &own->title, true);
    if (own->onRaised) own->onRaised();
    return true;
  }
  const std::string folder = RuntimeSubfolder("windows");
  if (folder.empty()) return false;
  const std::string base = folder + FileStem(window);
  if (!WindowAlive(base)) {
    RemoveWindowFiles(base);
    return false;
  }
  return UpdateRecord(folder, base, nullptr, true);
}

// ---- MessageWindow ----

MessageWindow::MessageWindow(const std::string& title, Handler handler)
    : impl_(std::make_unique<Impl>()) {
  impl_->handle = NextHandle();
  impl_->title = title;
  impl_->handler = std::move(handler);
  OwnWindows().push_back(impl_.get());
  if (!ListWindow(*impl_)) UnlistWindow(*impl_);
}

MessageWindow::~MessageWindow() {
  auto& windows = OwnWindows();
  windows.erase(std::remove(windows.begin(), windows.end(), impl_.get()), windows.end());
  // Senders still waiting see the connection close and return.
  for (int connection : impl_->connections) close(connection);
  UnlistWindow(*impl_);
}

WindowHandle MessageWindow::Handle() const { return impl_->handle; }

void MessageWindow::SetTitle(const std::string& title) {
  impl_->title = title;
  if (!impl_->base.empty()) UpdateRecord(impl_->folder, impl_->base, &impl_->title, false);
}

void MessageWindow::ProcessMessages(int timeoutMs) { ServeMessages(*impl_, timeoutMs); }

void MessageWindow::BringToTop() {
  if (!impl_->base.empty()) UpdateRecord(impl_->folder, impl_->base, &impl_->title, true);
}

// ---- POSIX front-end access ----

std::vector<int> MessageWindowDescriptors(WindowHandle ownWindow) {
  std::vector<int> descriptors;
  if (const Window* window = FindOwnWindow(ownWindow)) {
    for (const pollfd& entry : PollEntries(*window)) descriptors.push_back(entry.fd);
  }
  return descriptors;
}

void SetRaisedCallback(WindowHandle ownWindow, std::function<void()> onRaised) {
  if (Window* window = FindOwnWindow(ownWindow)) window->onRaised = std::move(onRaised);
}
