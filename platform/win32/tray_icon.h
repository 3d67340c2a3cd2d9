// The notification-area icon: the application icon with a tooltip, restoring
// the window on a click or through its one-entry popup menu "Öffnen".
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
  bool HandleCallback(LPARAM lParam);
  // The shell announces a restart with this message; the icon must be added anew.
  UINT TaskbarCreatedMessage() const { return taskbarCreated_; }
  void AddAgain();

 private:
  NOTIFYICONDATAW Data(UINT flags) const;
  void Add();
  bool ChooseFromPopupMenu();

  HWND owner_;
  UINT callbackMessage_;
  UINT taskbarCreated_;
  HICON icon_ = nullptr;
  std::wstring tip_;
  bool visible_ = false;
  bool keyboardAware_ = false;  // the shell took version 3 notifications
};
