// Private messages between threads with real Win32 windows: SendMessageW
// waits until the window's own thread has handled the message, and only the
// two private messages reach the handler.
#include "platform/window_messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <random>
#include <thread>
#include <vector>

#include "platform/process.h"

namespace {

// ---- A window on a thread of its own ----

// Stands in for another program's main window: it runs its own message
// loop and takes its time over each message.
class WindowThread {
 public:
  explicit WindowThread(const std::string& title) {
    std::future<WindowHandle> handle = created_.get_future();
    thread_ = std::thread([this, title] {
      MessageWindow window(title, [this](unsigned message) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        received_.push_back(message);
        handlerThread_ = std::this_thread::get_id();
      });
      created_.set_value(window.Handle());
      while (!stop_) window.ProcessMessages(20);
    });
    handle_ = handle.get();
  }
  ~WindowThread() {
    stop_ = true;
    thread_.join();
  }
  WindowThread(const WindowThread&) = delete;
  WindowThread& operator=(const WindowThread&) = delete;

  WindowHandle Handle() const { return handle_; }
  // Read only after a synchronous send returned.
  const std::vector<unsigned>& Received() const { return received_; }
  std::thread::id HandlerThread() const { return handlerThread_; }
  std::thread::id Thread() const { return thread_.get_id(); }

 private:
  std::promise<WindowHandle> created_;
  std::atomic<bool> stop_{false};
  std::vector<unsigned> received_;
  std::thread::id handlerThread_;
  WindowHandle handle_ = 0;
  std::thread thread_;
};

std::string Title() { return "Hauptfenster qvwin32-" + std::to_string(std::random_device{}()); }

// ---- Sending ----

TEST(WindowMessagesWin32, SendReturnsAfterTheOwningThreadHandledTheMessage) {
  const std::string title = Title();
  WindowThread other(title);
  ASSERT_NE(other.Handle(), 0u);
  ASSERT_EQ(FindWindowByTitleEnd(title), other.Handle());

  SendWindowMessage(other.Handle(), WM_SHOWREQUEST);
  ASSERT_EQ(other.Received(), std::vector<unsigned>{WM_SHOWREQUEST});
  EXPECT_EQ(other.HandlerThread(), other.Thread());

  SendWindowMessage(other.Handle(), WM_CLOSEREQUEST);
  EXPECT_EQ(other.Received(), (std::vector<unsigned>{WM_SHOWREQUEST, WM_CLOSEREQUEST}));
}

TEST(WindowMessagesWin32, OtherMessagesNeverReachTheHandler) {
  std::vector<unsigned> received;
  MessageWindow window(Title(), [&](unsigned message) { received.push_back(message); });
  constexpr unsigned kSetFocus = 7;
  constexpr unsigned kUserPlusOne = 0x0401;
  for (const unsigned message : {kSetFocus, kUserPlusOne, WM_CLOSEREQUEST}) {
    SendWindowMessage(window.Handle(), message);
  }
  window.ProcessMessages(0);
  EXPECT_EQ(received, std::vector<unsigned>{WM_CLOSEREQUEST});
}

}  // namespace
