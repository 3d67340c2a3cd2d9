#include "frontend/win32/tray_icon.h"

#include <windowsx.h>

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
  icon_ = static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_QUENNVOLDAR), IMAGE_ICON,
                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
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
  // Version 4 hides the usual tooltip unless asked to show it.
  NOTIFYICONDATAW data = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP);
  Shell_NotifyIconW(NIM_ADD, &data);
  // Versions 3 and 4 report the keyboard as well: Enter and Space select,
  // the context-menu key and Shift+F10 ask for the menu. Version 4 also says
  // where the icon is, so the menu opens there and not at the mouse.
  version_ = 0;
  for (const UINT version : {NOTIFYICON_VERSION_4, NOTIFYICON_VERSION}) {
    data.uVersion = version;
    if (Shell_NotifyIconW(NIM_SETVERSION, &data)) {
      version_ = version;
      break;
    }
  }
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

bool TrayIcon::HandleCallback(WPARAM wParam, LPARAM lParam) {
  // A click may be followed by its selection notification; one restore is enough.
  if (!visible_) return false;
  // Version 4 packs the event with the icon's number and sends where the icon is.
  const UINT event = version_ >= NOTIFYICON_VERSION_4 ? LOWORD(lParam) : static_cast<UINT>(lParam);
  POINT anchor;
  if (version_ >= NOTIFYICON_VERSION_4) {
    anchor = {GET_X_LPARAM(wParam), GET_Y_LPARAM(wParam)};
  } else {
    GetCursorPos(&anchor);
  }
  if (version_ > 0) {
    if (event == NIN_SELECT || event == NIN_KEYSELECT) return true;
    if (event == WM_CONTEXTMENU) return ChooseFromPopupMenu(anchor);
    return false;
  }
  if (event == WM_LBUTTONUP) return true;
  if (event == WM_RBUTTONUP) return ChooseFromPopupMenu(anchor);
  return false;
}

bool TrayIcon::ChooseFromPopupMenu(POINT anchor) {
  const HMENU menu = CreatePopupMenu();
  if (menu == nullptr) return false;
  AppendMenuW(menu, MF_STRING, kOpenCommand, Widen(kCaptionOpen).c_str());
  SetMenuDefaultItem(menu, kOpenCommand, FALSE);
  // Without the foreground the menu would not close when clicked elsewhere.
  SetForegroundWindow(owner_);
  // The menu's one entry is selected as it opens, so that Enter takes it
  // and a screen reader names it, however the menu was opened.
  PostMessageW(owner_, WM_KEYDOWN, VK_DOWN, 0);
  const UINT chosen =
      static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                                       anchor.x, anchor.y, 0, owner_, nullptr));
  PostMessageW(owner_, WM_NULL, 0, 0);
  DestroyMenu(menu);
  if (chosen == kOpenCommand) return true;
  // Escaped: the keyboard goes back to the notification area, not nowhere.
  NOTIFYICONDATAW data = Data(0);
  Shell_NotifyIconW(NIM_SETFOCUS, &data);
  return false;
}
