// Top-level windows on Windows: the title search over the stacking order,
// synchronous private messages, raising past the foreground lock, and a
// plain window class for MessageWindow.
#include "platform/window_messages.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

// ---- Helpers ----

namespace {

HWND AsHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

// Titles are judged by their first 260 characters.
constexpr int kTitleBufferLength = 261;

bool TitleEndsWithFirstOccurrence(std::wstring_view title, std::wstring_view text) {
  const std::size_t found = title.find(text);
  return found != std::wstring_view::npos && found + text.size() == title.size();
}

// With the foreground thread's input attached, SetForegroundWindow is
// allowed as if the call came from that thread.
bool RaiseWithAttachedInput(HWND window) {
  const DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
  const DWORD windowThread = GetWindowThreadProcessId(window, nullptr);
  if (!AttachThreadInput(windowThread, foregroundThread, TRUE)) return false;
  BringWindowToTop(window);
  SetForegroundWindow(window);
  AttachThreadInput(windowThread, foregroundThread, FALSE);
  return GetForegroundWindow() == window;
}

// The foreground lock time-out set to 0 for one raise, then restored.
void RaiseWithoutForegroundLock(HWND window) {
  DWORD timeout = 0;
  const bool read = SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0) != FALSE;
  SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, SPIF_SENDCHANGE);
  BringWindowToTop(window);
  SetForegroundWindow(window);
  if (read) {
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                          reinterpret_cast<void*>(static_cast<UINT_PTR>(timeout)), SPIF_SENDCHANGE);
  }
}

}  // namespace

// ---- Port functions ----

WindowHandle FindWindowByTitleEnd(const std::string& text) {
  if (text.empty()) return 0;
  const std::wstring wanted = Widen(text);
  for (HWND window = FindWindowW(nullptr, nullptr); window != nullptr;
       window = GetWindow(window, GW_HWNDNEXT)) {
    wchar_t title[kTitleBufferLength];
    const int length = GetWindowTextW(window, title, kTitleBufferLength);
    if (length <= 0) continue;
    if (TitleEndsWithFirstOccurrence(std::wstring_view(title, length), wanted)) {
      return reinterpret_cast<WindowHandle>(window);
    }
  }
  return 0;
}

void SendWindowMessage(WindowHandle window, unsigned message) {
  if (window != 0) SendMessageW(AsHwnd(window), message, 0, 0);
}

// Every Windows this program runs on has the foreground lock.
bool ForceWindowToFront(WindowHandle handle) {
  const HWND window = AsHwnd(handle);
  if (window == nullptr) return false;
  if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
  if (GetForegroundWindow() == window) return true;
  if (!RaiseWithAttachedInput(window)) RaiseWithoutForegroundLock(window);
  return GetForegroundWindow() == window;
}

// ---- MessageWindow ----

struct MessageWindow::Impl {
  HWND window = nullptr;
  Handler handler;
};

namespace {

constexpr wchar_t kMessageWindowClass[] = L"QuennvoldarMessageWindow";

LRESULT CALLBACK MessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  } else if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  } else if (message == WM_SHOWREQUEST || message == WM_CLOSEREQUEST) {
    auto* impl = reinterpret_cast<MessageWindow::Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (impl != nullptr && impl->handler) impl->handler(message);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterMessageWindowClass() {
  static const bool registered = [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = MessageWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kMessageWindowClass;
    return RegisterClassExW(&windowClass) != 0;
  }();
  (void)registered;
}

}  // namespace

// A real top-level window (not message-only), so title searches and the
// stacking order see it; it stays hidden.
MessageWindow::MessageWindow(const std::string& title, Handler handler)
    : impl_(std::make_unique<Impl>()) {
  impl_->handler = std::move(handler);
  RegisterMessageWindowClass();
  impl_->window = CreateWindowExW(0, kMessageWindowClass, Widen(title).c_str(), WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 320, 200, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), impl_.get());
}

MessageWindow::~MessageWindow() {
  if (impl_->window != nullptr && IsWindow(impl_->window)) DestroyWindow(impl_->window);
}

WindowHandle MessageWindow::Handle() const { return reinterpret_cast<WindowHandle>(impl_->window); }

void MessageWindow::SetTitle(const std::string& title) {
  SetWindowTextW(impl_->window, Widen(title).c_str());
}

void MessageWindow::ProcessMessages(int timeoutMs) {
  if (timeoutMs > 0) {
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(timeoutMs), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
  }
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Left for the loop that owns the thread.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void MessageWindow::BringToTop() {
  SetWindowPos(impl_->window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}
