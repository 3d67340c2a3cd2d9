// Top-level windows found by title and the two private messages delivered to
// them synchronously (platform port).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

using WindowHandle = std::uintptr_t;  // 0: no window

inline constexpr unsigned WM_SHOWREQUEST = 1224;   // come to the front
inline constexpr unsigned WM_CLOSEREQUEST = 1124;  // close / cancel

// The first top-level window in stacking order (top first) whose title's
// first occurrence of text ends exactly at the title's end; 0 when none.
WindowHandle FindWindowByTitleEnd(const std::string& text);
// Delivers the message and returns once the receiver has handled it.
void SendWindowMessage(WindowHandle window, unsigned message);
// Restores and raises the window; true when it is in front afterwards.
bool ForceWindowToFront(WindowHandle window);

// A plain top-level window of this process that receives the two messages;
// the sample main program and the terminal front end are made of it.
class MessageWindow {
 public:
  using Handler = std::function<void(unsigned message)>;
  MessageWindow(const std::string& title, Handler handler);
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  WindowHandle Handle() const;
  void SetTitle(const std::string& title);
  // Handles what has arrived, waiting at most timeoutMs for the first.
  void ProcessMessages(int timeoutMs = 0);
  // Moves the window to the top of the stacking order.
  void BringToTop();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};
