#include "platform/win32/tray_icon.h"

#include <algorithm>
#include <iterator>

#include "platform/win32/wide_text.h"
#include "resources/resource_ids.h"
#include "resources/texts.h"

namespace {

constexpr UINT kIconId = 1;
constexpr UINT kOpenCommand = 1;

}  // namespace

// ---- Lifetime ----

TrayIcon::TrayIcon(HWND owner, UINT callbackMessage)
    : owner_(owner),
      callbackMessage_(callbackMessage),
      taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")) {
  // The shell draws tray icons at the small icon size of the system DPI.
  icon_ = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr),
                                        MAKEINTRESOURCEW(IDI_QUENNVOLDAR), IMAGE_ICON,
                                        GetSystemMetrics(SM_CXSMICON),
                                        GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
}

TrayIcon::~TrayIcon() {
  SetVisible(false);
  if (icon_ != nullptr) DestroyIcon(icon_);
}

// ---- Showing ----

NOTIFYICONDATAW TrayIcon::Data(UINT flags) const {
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof data;
  data.hWnd = owner_;
  data.uID = kIconId;
  data.uFlags = flags;
  data.uCallbackMessage = callbackMessage_;
  data.hIcon = icon_;
  // The shell keeps 127 characters; a longer caption loses its end.
  const std::size_t length = std::min(tip_.size(), std::size(data.szTip) - 1);
  std::copy_n(tip_.begin(), length, data.szTip);
  return data;
}

void TrayIcon::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (visible) {
    Add();
  } else {
    NOTIFYICONDATAW data = Data(0);
    Shell_NotifyIconW(NIM_DELETE, &data);
  }
}

void TrayIcon::Add() {
  NOTIFYICONDATAW data = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
  Shell_NotifyIconW(NIM_ADD, &data);
  // Version 3 reports keyboard selection (Enter, Space, Shift+F10) as well.
  data.uVersion = NOTIFYICON_VERSION;
  keyboardAware_ = Shell_NotifyIconW(NIM_SETVERSION, &data) != FALSE;
}

void TrayIcon::SetTip(const std::string& tip) {
  tip_ = Widen(tip);
  if (!visible_) return;
  NOTIFYICONDATAW data = Data(NIF_TIP);
  Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TrayIcon::AddAgain() {
  if (visible_) Add();
}

// ---- The user's clicks ----

bool TrayIcon::HandleCallback(LPARAM lParam) {
  // A click may be followed by its selection notification; one restore is enough.
  if (!visible_) return false;
  const UINT event = static_cast<UINT>(lParam);
  if (keyboardAware_) {
    if (event == NIN_SELECT || event == NIN_KEYSELECT) return true;
    if (event == WM_CONTEXTMENU) return ChooseFromPopupMenu();
    return false;
  }
  if (event == WM_LBUTTONUP) return true;
  if (event == WM_RBUTTONUP) return ChooseFromPopupMenu();
  return false;
}

bool TrayIcon::ChooseFromPopupMenu() {
  const HMENU menu = CreatePopupMenu();
  if (menu == nullptr) return false;
  AppendMenuW(menu, MF_STRING, kOpenCommand, Widen(kCaptionOpen).c_str());
  SetMenuDefaultItem(menu, kOpenCommand, FALSE);
  POINT cursor;
  GetCursorPos(&cursor);
  // Without the foreground the menu would not close when clicked elsewhere.
  SetForegroundWindow(owner_);
  const UINT chosen = static_cast<UINT>(TrackPopupMenu(
      menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, owner_, nullptr));
  PostMessageW(owner_, WM_NULL, 0, 0);
  DestroyMenu(menu);
  return chosen == kOpenCommand;
}
