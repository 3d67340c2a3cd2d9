#include "frontend/win32/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>

#include "base/window_layout.h"
#include "frontend/win32/dpi.h"
#include "frontend/win32/message_boxes.h"
#include "frontend/win32/push_buttons.h"
#include "frontend/win32/status_line.h"
#include "platform/win32/wide_text.h"
#include "platform/window_messages.h"
#include "resources/resource_ids.h"
#include "resources/texts.h"

namespace {

constexpr wchar_t kWindowClass[] = L"QuennvoldarMainWindow";
constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

// Control identifiers; creation order is the tab order.
constexpr int kStatusId = 100;
constexpr int kProgressId = 101;
constexpr int kMinimizeId = 102;
constexpr int kCancelId = 103;
// The hidden menu's commands, reached only through their shortcuts.
constexpr int kMinimizeCommand = 200;  // Ctrl+M
constexpr int kQuitCommand = 201;      // Alt+F4

constexpr UINT kTrayCallback = WM_APP + 1;
constexpr UINT kTimerIntervalMs = 250;
constexpr int kFirstTimer = 1;
constexpr int kLastTimer = 3;

// ---- Helpers ----

WorkArea PrimaryWorkArea() {
  RECT area;
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) {
    area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  return {area.left, area.top, area.right - area.left, area.bottom - area.top};
}

HICON LoadApplicationIcon(int size) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_QUENNVOLDAR),
                                       IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

void RegisterWindowClass(WNDPROC windowProc) {
  static const bool registered = [windowProc] {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hIcon = LoadIconW(windowClass.hInstance, MAKEINTRESOURCEW(IDI_QUENNVOLDAR));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassExW(&windowClass) != 0;
  }();
  (void)registered;
}

BOOL CALLBACK RaiseVisibleOwnedWindow(HWND window, LPARAM owner) {
  if (GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner) && IsWindowVisible(window)) {
    ForceWindowToFront(reinterpret_cast<WindowHandle>(window));
  }
  return TRUE;
}

}  // namespace

// ---- Creation and destruction ----

MainWindow::MainWindow(FrontEndEvents& events) : events_(events) {
  INITCOMMONCONTROLSEX commonControls = {sizeof commonControls,
                                         ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&commonControls);
  RegisterWindowClass(WindowProc);

  // Centred on the screen at first; resizing centres it on the work area.
  windowSize_ = WindowSizeForWorkArea(PrimaryWorkArea());
  const int left = (GetSystemMetrics(SM_CXSCREEN) - windowSize_.width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - windowSize_.height) / 2;
  CreateWindowExW(0, kWindowClass, L"", kWindowStyle, left, top, windowSize_.width,
                  windowSize_.height, nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (window_ == nullptr) return;

  SetWindowIcons();
  CreateControls();
  RemoveSystemMenuCommands();
  ACCEL keys[] = {
      {FVIRTKEY | FCONTROL, 'M', kMinimizeCommand},
      {FVIRTKEY | FALT, VK_F4, kQuitCommand},
  };
  accelerators_ = CreateAcceleratorTableW(keys, 2);
  tray_ = std::make_unique<TrayIcon>(window_, kTrayCallback);
  ApplyStatusStyle(style_);
  eventsLive_ = true;
}

MainWindow::~MainWindow() {
  // The run is going away: nothing may reach it from here on.
  eventsLive_ = false;
  if (window_ != nullptr) DestroyWindow(window_);
  tray_.reset();
  if (accelerators_ != nullptr) DestroyAcceleratorTable(accelerators_);
  if (statusFont_ != nullptr) DeleteObject(statusFont_);
  if (bigIcon_ != nullptr) DestroyIcon(bigIcon_);
  if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
}

void MainWindow::CreateControls() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  const auto child = [&](const wchar_t* windowClass, DWORD style, int id, const char* text) {
    return CreateWindowExW(0, windowClass, Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0,
                           0, 0, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           instance, nullptr);
  };
  // A focusable static: screen readers read it when it takes the focus.
  // The window paints it (owner-drawn) in the lines the layout measured.
  status_ = child(L"STATIC", SS_OWNERDRAW | SS_NOPREFIX | SS_NOTIFY | WS_TABSTOP, kStatusId, "");
  RepaintStatusLineOnFocus(status_);
  progressBar_ = child(PROGRESS_CLASSW, 0, kProgressId, "");
  SendMessageW(progressBar_, PBM_SETRANGE32, 0, 100);
  SendMessageW(progressBar_, PBM_SETSTEP, 1, 0);
  // Drawn by the window too, so that their focus is as plain as the status line's.
  minimizeButton_ =
      child(L"BUTTON", BS_OWNERDRAW | BS_NOTIFY | WS_TABSTOP, kMinimizeId, kCaptionMinimize);
  cancelButton_ =
      child(L"BUTTON", BS_OWNERDRAW | BS_NOTIFY | WS_TABSTOP, kCancelId, kCaptionCancel);
  defaultButton_ = minimizeButton_;
}

// Without close the title bar's close button is disabled, and the window
// cannot be sized or maximised from its menu.
void MainWindow::RemoveSystemMenuCommands() {
  const HMENU menu = GetSystemMenu(window_, FALSE);
  for (const UINT command : {SC_CLOSE, SC_MAXIMIZE, SC_SIZE, SC_RESTORE}) {
    DeleteMenu(menu, command, MF_BYCOMMAND);
  }
}

void MainWindow::SetWindowIcons() {
  const UINT dpi = WindowDpi(window_);
  const HICON big = LoadApplicationIcon(SystemMetricForDpi(SM_CXICON, dpi));
  const HICON small = LoadApplicationIcon(SystemMetricForDpi(SM_CXSMICON, dpi));
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  if (bigIcon_ != nullptr) DestroyIcon(bigIcon_);
  if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
  bigIcon_ = big;
  smallIcon_ = small;
}

// ---- Window procedure ----

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self =
        static_cast<MainWindow*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->window_ = self->status_ = self->progressBar_ = nullptr;
    self->minimizeButton_ = self->cancelButton_ = self->defaultButton_ = nullptr;
    self->focusBeforeDeactivation_ = nullptr;
    return DefWindowProcW(window, message, wParam, lParam);
  }
  // No exception may cross into the system's code that called us.
  try {
    return self->HandleMessage(message, wParam, lParam);
  } catch (...) {
    if (self->eventsLive_) self->events_.OnUnexpectedError();
    return 0;
  }
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->hwndItem == status_) {
        DrawStatusLine(*item, statusText_, statusFont_, style_);
      } else {
        DrawPushButton(*item, style_, item->hwndItem == defaultButton_);
      }
      return TRUE;
    }
    case DM_GETDEFID:
      // Tab and Enter handling asks which button is the default: the one that
      // shows as the default.
      return MAKELRESULT(GetDlgCtrlID(defaultButton_), DC_HASDEFID);
    case DM_SETDEFID:
      return TRUE;  // the default follows the focus alone
    case WM_WINDOWPOSCHANGING: {
      // The size is always the layout's, however the change was asked for.
      auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
      if (!(position->flags & SWP_NOSIZE) && !IsIconic(window_)) {
        position->cx = windowSize_.width;
        position->cy = windowSize_.height;
      }
      break;
    }
    case WM_SIZE:
      if (wParam != SIZE_MINIMIZED && eventsLive_) {
        events_.OnResized();
        if (!closing_ && IsWindowVisible(window_)) CenterWindowOnWorkArea();
      }
      return 0;
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      SetWindowIcons();
      ApplyStatusStyle(style_);
      return 0;
    }
    case WM_ACTIVATE:
      // A plain window would put the focus on itself; keep it on the control.
      if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = GetFocus();
        if (focus != nullptr && IsChild(window_, focus)) focusBeforeDeactivation_ = focus;
      } else if (!HIWORD(wParam)) {
        SetFocus(focusBeforeDeactivation_ != nullptr ? focusBeforeDeactivation_ : status_);
      }
      return 0;
    case WM_ACTIVATEAPP:
      if (eventsLive_) events_.OnActivation(wParam != FALSE);
      return 0;
    case WM_CLOSE:
      // Every way of closing the window cancels the run instead; the run
      // closes the window itself.
      if (eventsLive_ && !closing_) events_.OnCancelCommand();
      return 0;
    case WM_TIMER:
      // Phases start from RunMessageLoop only, never from a nested loop.
      return 0;
    case WM_DESTROY:
      if (tray_) tray_->SetVisible(false);
      return 0;
    case kTrayCallback:
      if (tray_ && tray_->HandleCallback(wParam, lParam) && eventsLive_) events_.OnTrayRestore();
      return 0;
    case WM_SHOWREQUEST:
    case WM_CLOSEREQUEST:
      if (eventsLive_) events_.OnWindowMessage(message);
      return 0;
    default:
      if (tray_ && message == tray_->TaskbarCreatedMessage()) {
        tray_->AddAgain();
        return 0;
      }
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

void MainWindow::OnCommand(int id, int code) {
  if (!eventsLive_ || closing_) return;
  const bool clicked = code == BN_CLICKED;
  switch (id) {
    case kMinimizeId:
    case kCancelId:
      if (code == BN_SETFOCUS || code == BN_KILLFOCUS) {
        UpdateDefaultButton();
      } else if (clicked && id == kMinimizeId) {
        events_.OnMinimizeCommand();
      } else if (clicked) {
        events_.OnCancelCommand();
      }
      break;
    case kMinimizeCommand:
      events_.OnMinimizeCommand();
      break;
    case kQuitCommand:
      events_.OnCancelCommand();
      break;
    default:
      break;
  }
}

// ---- Keyboard ----

bool MainWindow::TranslateKeyboard(MSG& message) {
  if (window_ == nullptr || (message.hwnd != window_ && !IsChild(window_, message.hwnd))) {
    return false;
  }
  if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
    OnCommand(kCancelId, BN_CLICKED);
    return true;
  }
  if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
    // Enter presses the focused button, else the default one.
    OnCommand(GetFocus() == cancelButton_ ? kCancelId : kMinimizeId, BN_CLICKED);
    return true;
  }
  if (TranslateAcceleratorW(window_, accelerators_, &message)) return true;
  // Tab order and the buttons' underlined letters.
  if (!IsDialogMessageW(window_, &message)) return false;
  UpdateDefaultButton();
  return true;
}

// The focused button shows as the default one, as in a dialog; Minimieren
// while the status line has the focus. Enter presses that button.
void MainWindow::UpdateDefaultButton() {
  const HWND wanted = GetFocus() == cancelButton_ ? cancelButton_ : minimizeButton_;
  if (wanted == defaultButton_) return;
  const HWND previous = defaultButton_;
  defaultButton_ = wanted;
  InvalidateRect(previous, nullptr, TRUE);
  InvalidateRect(wanted, nullptr, TRUE);
}

void MainWindow::FocusStatusLine() {
  SetFocus(status_);
  UpdateDefaultButton();
}

// ---- Status font and layout ----

void MainWindow::ApplyStatusStyle(const StatusStyle& style) {
  style_ = style;
  if (window_ == nullptr) return;
  PlaceControls();
  InvalidateRect(window_, nullptr, TRUE);
}

// What the frame and the title bar add to the client area.
WindowSize MainWindow::FrameSize() const {
  if (!IsIconic(window_)) {
    RECT window;
    RECT client;
    GetWindowRect(window_, &window);
    GetClientRect(window_, &client);
    return {(window.right - window.left) - client.right,
            (window.bottom - window.top) - client.bottom};
  }
  RECT frame = {0, 0, 0, 0};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
  return {frame.right - frame.left, frame.bottom - frame.top};
}

void MainWindow::PlaceControls() {
  // Resizing the window below lays out again from inside; once is enough.
  if (placing_) return;
  placing_ = true;
  StatusFontTrials fonts(style_, WindowDpi(window_));
  WindowLayoutRequest request;
  request.workArea = PrimaryWorkArea();
  request.frame = FrameSize();
  request.fontPoints = style_.sizePoints;
  request.fontAt = [&fonts](int points) { return fonts.At(points); };
  request.statusTexts.assign(std::begin(kStatusTexts), std::end(kStatusTexts));
  request.statusTexts.push_back(statusText_);
  request.buttonCaptions = {kCaptionCancel, kCaptionMinimize};
  const WindowLayout layout = LayoutWindow(request);

  // Buttons take the status font too; only their text colour stays their own.
  const HFONT font = fonts.Take(layout.fontPoints);
  if (font != nullptr) {
    for (const HWND control : {status_, minimizeButton_, cancelButton_}) {
      SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    if (statusFont_ != nullptr) DeleteObject(statusFont_);
    statusFont_ = font;
  }
  windowSize_ = layout.window;
  if (!IsIconic(window_)) {
    SetWindowPos(window_, nullptr, 0, 0, windowSize_.width, windowSize_.height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  const auto place = [](HWND control, const ControlRect& rect) {
    SetWindowPos(control, nullptr, rect.left, rect.top, rect.width, rect.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  };
  place(status_, layout.controls.status);
  place(progressBar_, layout.controls.progress);
  place(minimizeButton_, layout.controls.minimizeButton);
  place(cancelButton_, layout.controls.cancelButton);
  placing_ = false;
}

void MainWindow::CenterWindowOnWorkArea() {
  RECT bounds;
  GetWindowRect(window_, &bounds);
  const WindowPosition position =
      CenterOnWorkArea(PrimaryWorkArea(), {bounds.right - bounds.left, bounds.bottom - bounds.top},
                       IsZoomed(window_) != FALSE);
  SetWindowPos(window_, nullptr, position.left, position.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- Caption, status line and progress ----

void MainWindow::SetCaption(const std::string& caption) {
  caption_ = caption;
  if (window_ != nullptr) SetWindowTextW(window_, Widen(caption).c_str());
}

void MainWindow::SetStatusText(const std::string& text) {
  statusText_ = text;
  if (status_ == nullptr) return;
  SetWindowTextW(status_, Widen(text).c_str());
  // A text the layout did not know may need more lines.
  if (std::find(std::begin(kStatusTexts), std::end(kStatusTexts), text) == std::end(kStatusTexts)) {
    PlaceControls();
  }
  InvalidateRect(status_, nullptr, TRUE);
}

void MainWindow::SetProgress(int position) {
  progress_ = std::clamp(position, 0, 100);
  if (progressBar_ != nullptr) SendMessageW(progressBar_, PBM_SETPOS, progress_, 0);
}

// ---- Showing and hiding ----

void MainWindow::ShowMainWindow() {
  if (window_ == nullptr) return;
  const bool wasHidden = !IsWindowVisible(window_);
  if (IsIconic(window_)) ShowWindow(window_, SW_RESTORE);
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  if (wasHidden) FocusStatusLine();
}

// A hidden top-level window has no taskbar button either.
void MainWindow::HideMainWindow() {
  if (window_ != nullptr) ShowWindow(window_, SW_HIDE);
}

bool MainWindow::MainWindowVisible() const {
  return window_ != nullptr && IsWindowVisible(window_);
}

// The window first, then whatever it owns that is showing (a message box).
void MainWindow::ForceToFront() {
  if (window_ == nullptr) return;
  ForceWindowToFront(Handle());
  EnumThreadWindows(GetCurrentThreadId(), RaiseVisibleOwnedWindow,
                    reinterpret_cast<LPARAM>(window_));
}

// ---- Tray icon ----

void MainWindow::SetTrayIconVisible(bool visible) {
  if (tray_) tray_->SetVisible(visible);
}

bool MainWindow::TrayIconVisible() const { return tray_ && tray_->Visible(); }

void MainWindow::SetTrayHint(const std::string& hint) {
  if (tray_) tray_->SetTip(hint);
}

// ---- Message boxes ----

void MainWindow::ShowInformation(const std::string& text) {
  ShowInformationBox(window_, text, style_);
}

bool MainWindow::AskQuestion(const std::string& text) { return AskYesNoBox(window_, text, style_); }

// ---- Timers and the message loop ----

void MainWindow::SetTimerEnabled(int timer, bool enabled) {
  if (timer < kFirstTimer || timer > kLastTimer || timerEnabled_[timer] == enabled) return;
  timerEnabled_[timer] = enabled;
  if (window_ == nullptr) return;
  if (enabled) {
    SetTimer(window_, static_cast<UINT_PTR>(timer), kTimerIntervalMs, nullptr);
  } else {
    KillTimer(window_, static_cast<UINT_PTR>(timer));
  }
}

bool MainWindow::IsPhaseTimer(const MSG& message) const {
  return message.message == WM_TIMER && message.hwnd == window_ && window_ != nullptr &&
         message.wParam >= kFirstTimer && message.wParam <= kLastTimer;
}

void MainWindow::ProcessMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));  // for RunMessageLoop
      return;
    }
    // A phase calls this; another phase must not start inside it. The timer
    // ticks again once the loop has it back.
    if (IsPhaseTimer(message)) continue;
    if (TranslateKeyboard(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void MainWindow::RunMessageLoop(bool startHidden) {
  if (window_ == nullptr) {
    Close();
    return;
  }
  if (!startHidden) ShowMainWindow();
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsPhaseTimer(message)) {
      const int timer = static_cast<int>(message.wParam);
      if (timerEnabled_[timer]) events_.OnTimer(timer);
      continue;
    }
    if (TranslateKeyboard(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void MainWindow::Close() {
  if (closing_) return;
  closing_ = true;
  for (int timer = kFirstTimer; timer <= kLastTimer; ++timer) SetTimerEnabled(timer, false);
  if (eventsLive_) events_.OnClose();
  eventsLive_ = false;
  if (window_ != nullptr) DestroyWindow(window_);
  PostQuitMessage(0);
}

// ---- The platform's front end ----

std::unique_ptr<FrontEnd> CreateFrontEnd(FrontEndEvents& events) {
  return std::make_unique<MainWindow>(events);
}

// Before the configuration names a font, the status font's defaults.
void ShowInformationWithoutWindow(const std::string& text) {
  ShowInformationBox(nullptr, text, StatusStyle{});
}
