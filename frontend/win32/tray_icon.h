// The notification-area icon: the application icon with a tooltip, restoring
// the window on a click, on Enter or through its one-entry popup menu
// "Öffnen", which the context-menu key and Shift+F10 open as a right click does.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>

class TrayIcon {
 public:
  // Notifications arrive at owner as callbackMessage; pass them to
  // HandleCallback.
  TrayIcon(HWND owner, UINT callbackMessage);
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  void SetVisible(bool visible);
  bool Visible() const { return visible_; }
  void SetTip(const std::string& tip);
  // True when the user asked for the window back.
  bool HandleCallback(WPARAM wParam, LPARAM lParam);
  // The shell announces a restart with this message; the icon must be added anew.
  UINT TaskbarCreatedMessage() const { return taskbarCreated_; }
  void AddAgain();

 private:
  NOTIFYICONDATAW Data(UINT flags) const;
  void Add();
  bool ChooseFromPopupMenu(POINT anchor);

  HWND owner_;
  UINT callbackMessage_;
  UINT taskbarCreated_;
  HICON icon_ = nullptr;
  std::wstring tip_;
  bool visible_ = false;
  UINT version_ = 0;  // of the notifications the shell agreed to send
};
