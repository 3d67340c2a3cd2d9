#include "platform/win32/message_boxes.h"

#include "base/text_wrap.h"
#include "platform/win32/wide_text.h"
#include "resources/texts.h"

namespace {

// ---- Fitting the text ----

// A box grows as wide as its longest word, and a path has no blank to break
// at: such words are broken at their separators, so that the box stays on
// the screen. Half the work area leaves room for the icon and the frame.
std::string FitToWorkArea(const std::string& text) {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  RECT area;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) ||
      !SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) {
    return text;
  }
  const HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
  const HDC dc = CreateCompatibleDC(nullptr);
  const HGDIOBJ previous = SelectObject(dc, font);
  const auto width = [dc](const std::string& piece) {
    const std::wstring wide = Widen(piece);
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    return static_cast<int>(size.cx);
  };
  const std::string fitted = BreakLongWords(width, text, (area.right - area.left) / 2);
  SelectObject(dc, previous);
  DeleteDC(dc);
  DeleteObject(font);
  return fitted;
}

// ---- Adjusting the box as it appears ----

// The box exists only inside MessageBoxW, so a thread-local CBT hook catches
// it when it is first activated, before it is drawn.
HHOOK boxHook = nullptr;
bool renameYesNo = false;

bool IsDialogBox(HWND window) {
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  return lstrcmpW(className, L"#32770") == 0;
}

void CenterOnScreen(HWND box) {
  RECT rect;
  if (!GetWindowRect(box, &rect)) return;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  SetWindowPos(box, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK BoxHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    const HWND box = reinterpret_cast<HWND>(wParam);
    if (IsDialogBox(box)) {
      if (renameYesNo) {
        SetDlgItemTextW(box, IDYES, Widen(kCaptionYes).c_str());
        SetDlgItemTextW(box, IDNO, Widen(kCaptionNo).c_str());
      }
      CenterOnScreen(box);
      UnhookWindowsHookEx(boxHook);
      boxHook = nullptr;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

int ShowBox(HWND owner, const std::string& text, const char* caption, UINT type,
            bool yesNoInGerman) {
  renameYesNo = yesNoInGerman;
  boxHook = SetWindowsHookExW(WH_CBT, BoxHook, nullptr, GetCurrentThreadId());
  // Without a visible owner the box must still block the run's window.
  if (owner == nullptr || !IsWindowVisible(owner)) {
    owner = nullptr;
    type |= MB_TASKMODAL;
  }
  const int answer = MessageBoxW(owner, Widen(FitToWorkArea(text)).c_str(), Widen(caption).c_str(),
                                 type | MB_SETFOREGROUND);
  // A box that failed to appear leaves the hook behind.
  if (boxHook != nullptr) {
    UnhookWindowsHookEx(boxHook);
    boxHook = nullptr;
  }
  return answer;
}

}  // namespace

// ---- The two boxes ----

void ShowInformationBox(HWND owner, const std::string& text) {
  ShowBox(owner, text, kCaptionInformation, MB_OK | MB_ICONINFORMATION, false);
}

bool AskYesNoBox(HWND owner, const std::string& text) {
  return ShowBox(owner, text, kCaptionConfirm, MB_YESNO | MB_ICONQUESTION, true) == IDYES;
}
