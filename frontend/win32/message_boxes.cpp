#include "frontend/win32/message_boxes.h"

#include <vector>

#include "base/message_box_layout.h"
#include "frontend/win32/dpi.h"
#include "frontend/win32/status_line.h"
#include "platform/win32/wide_text.h"
#include "resources/texts.h"

namespace {

// The numbers the system's own message box gives its icon and its text.
constexpr WORD kIconId = 20;
constexpr WORD kTextId = 0xFFFF;
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kStaticClass = 0x0082;

struct BoxButton {
  int id;
  const char* caption;
};

// What one box shows, and what it made for that and frees afterwards.
struct Box {
  std::string text;
  const char* caption;
  LPCWSTR iconName;
  UINT sound;
  std::vector<BoxButton> buttons;  // the first is the default
  int escapeAnswer;                // 0: Esc and the close button do nothing
  const StatusStyle& style;
  HFONT font = nullptr;
  HICON icon = nullptr;
};

// ---- The dialog template in memory ----

class TemplateWriter {
 public:
  const DLGTEMPLATE* Data() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

  void Header(DWORD style, WORD itemCount, const std::string& title) {
    Long(style);
    Long(0);  // extended style
    words_.push_back(itemCount);
    for (int i = 0; i < 4; ++i) words_.push_back(0);  // placed when it opens
    words_.push_back(0);                              // no menu
    words_.push_back(0);                              // the dialog class
    Text(title);
  }

  // Placed when the box opens, too.
  void Item(DWORD style, WORD id, WORD windowClass, const std::string& title) {
    if (words_.size() % 2 != 0) words_.push_back(0);  // items start on a DWORD
    Long(WS_CHILD | WS_VISIBLE | style);
    Long(0);
    for (int i = 0; i < 4; ++i) words_.push_back(0);
    words_.push_back(id);
    words_.push_back(0xFFFF);
    words_.push_back(windowClass);
    Text(title);
    words_.push_back(0);  // no creation data
  }

 private:
  void Long(DWORD value) {
    words_.push_back(LOWORD(value));
    words_.push_back(HIWORD(value));
  }
  void Text(const std::string& text) {
    for (const wchar_t c : Widen(text)) words_.push_back(static_cast<WORD>(c));
    words_.push_back(0);
  }

  std::vector<WORD> words_;
};

TemplateWriter BoxTemplate(const Box& box) {
  TemplateWriter writer;
  writer.Header(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFOREGROUND,
                static_cast<WORD>(2 + box.buttons.size()), box.caption);
  writer.Item(SS_ICON, kIconId, kStaticClass, "");
  writer.Item(SS_LEFT | SS_NOPREFIX | WS_GROUP, kTextId, kStaticClass, box.text);
  bool first = true;
  for (const BoxButton& button : box.buttons) {
    writer.Item(WS_TABSTOP | (first ? BS_DEFPUSHBUTTON | WS_GROUP : BS_PUSHBUTTON),
                static_cast<WORD>(button.id), kButtonClass, button.caption);
    first = false;
  }
  return writer;
}

// ---- Laying the box out as it opens ----

WorkArea PrimaryWorkArea() {
  RECT area;
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) {
    area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  return {area.left, area.top, area.right - area.left, area.bottom - area.top};
}

void Place(HWND control, const ControlRect& rect) {
  SetWindowPos(control, nullptr, rect.left, rect.top, rect.width, rect.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void LayOut(HWND dialog, Box& box) {
  RECT window;
  RECT client;
  GetWindowRect(dialog, &window);
  GetClientRect(dialog, &client);
  const UINT dpi = WindowDpi(dialog);
  StatusFontTrials fonts(box.style, dpi);

  MessageBoxLayoutRequest request;
  request.workArea = PrimaryWorkArea();
  request.frame = {(window.right - window.left) - client.right,
                   (window.bottom - window.top) - client.bottom};
  request.fontPoints = box.style.sizePoints;
  request.fontAt = [&fonts](int points) {
    MessageBoxFont font;
    font.metrics = fonts.At(points);
    font.textHeight = [&fonts, points](const std::string& text, int width) {
      return fonts.WrappedTextHeight(points, text, width);
    };
    return font;
  };
  request.text = box.text;
  for (const BoxButton& button : box.buttons) request.buttonCaptions.push_back(button.caption);
  request.leastIconSize = SystemMetricForDpi(SM_CXICON, dpi);
  const MessageBoxLayout layout = LayoutMessageBox(request);

  box.font = fonts.Take(layout.fontPoints);
  const HWND text = GetDlgItem(dialog, kTextId);
  SetWindowTextW(text, Widen(layout.text).c_str());
  SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(box.font), FALSE);
  Place(text, layout.textRect);

  // The system's icon at the size of a line of text.
  const HWND icon = GetDlgItem(dialog, kIconId);
  box.icon = static_cast<HICON>(LoadImageW(nullptr, box.iconName, IMAGE_ICON, layout.icon.width,
                                           layout.icon.height, LR_DEFAULTCOLOR));
  SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(box.icon), 0);
  Place(icon, layout.icon);

  for (std::size_t i = 0; i < box.buttons.size(); ++i) {
    const HWND button = GetDlgItem(dialog, box.buttons[i].id);
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(box.font), FALSE);
    Place(button, layout.buttons[i]);
  }
  SendMessageW(dialog, DM_SETDEFID, static_cast<WPARAM>(box.buttons.front().id), 0);
  if (box.escapeAnswer == 0) {
    EnableMenuItem(GetSystemMenu(dialog, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  }

  const WindowPosition position = CenterOnWorkArea(request.workArea, layout.window, false);
  SetWindowPos(dialog, nullptr, position.left, position.top, layout.window.width,
               layout.window.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK BoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    LayOut(dialog, *reinterpret_cast<Box*>(lParam));
    MessageBeep(reinterpret_cast<Box*>(lParam)->sound);
    return TRUE;  // the focus on the first tab stop, the default button
  }
  auto* box = reinterpret_cast<Box*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (message != WM_COMMAND || box == nullptr) return FALSE;
  // Esc and the close button arrive as IDCANCEL.
  const int id = LOWORD(wParam);
  if (id == IDCANCEL) {
    if (box->escapeAnswer != 0) EndDialog(dialog, box->escapeAnswer);
    return TRUE;
  }
  for (const BoxButton& button : box->buttons) {
    if (button.id == id) EndDialog(dialog, id);
  }
  return TRUE;
}

// ---- Showing ----

BOOL CALLBACK DisableEnabledWindow(HWND window, LPARAM disabled) {
  if (IsWindowEnabled(window)) {
    EnableWindow(window, FALSE);
    reinterpret_cast<std::vector<HWND>*>(disabled)->push_back(window);
  }
  return TRUE;
}

int ShowBox(HWND owner, Box& box) {
  // Without a visible owner the box must still block the run's window, as a
  // task-modal message box blocks every window of its thread.
  std::vector<HWND> disabled;
  if (owner == nullptr || !IsWindowVisible(owner)) {
    owner = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), DisableEnabledWindow,
                      reinterpret_cast<LPARAM>(&disabled));
  }
  const TemplateWriter dialog = BoxTemplate(box);
  const INT_PTR answer = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Data(), owner,
                                                 BoxProc, reinterpret_cast<LPARAM>(&box));
  for (const HWND window : disabled) EnableWindow(window, TRUE);
  if (box.font != nullptr) DeleteObject(box.font);
  if (box.icon != nullptr) DestroyIcon(box.icon);
  return static_cast<int>(answer);
}

}  // namespace

// ---- The two boxes ----

void ShowInformationBox(HWND owner, const std::string& text, const StatusStyle& style) {
  Box box{text, kCaptionInformation, IDI_INFORMATION, MB_ICONINFORMATION, {{IDOK, "OK"}}, IDOK,
          style};
  ShowBox(owner, box);
}

bool AskYesNoBox(HWND owner, const std::string& text, const StatusStyle& style) {
  Box box{text,
          kCaptionConfirm,
          IDI_QUESTION,
          MB_ICONQUESTION,
          {{IDYES, kCaptionYes}, {IDNO, kCaptionNo}},
          0,
          style};
  return ShowBox(owner, box) == IDYES;
}
