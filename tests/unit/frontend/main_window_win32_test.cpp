// The Win32 main window on its own: keys typed through the system's input
// queue, the private messages, the phase timers, the title bar and the size
// rule. A recorder stands in for the run, which only has to be told.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/window_layout.h"
#include "frontend/front_end.h"
#include "platform/win32/wide_text.h"

namespace {

// ---- The run, as far as the window reaches it ----

class RecordedEvents : public FrontEndEvents {
 public:
  std::vector<std::string> log;
  std::function<void(int)> onTimer;

  void OnTimer(int timer) override {
    log.push_back("timer " + std::to_string(timer));
    if (onTimer) onTimer(timer);
  }
  void OnCancelCommand() override { log.push_back("cancel"); }
  void OnMinimizeCommand() override { log.push_back("minimize"); }
  void OnTrayRestore() override { log.push_back("tray"); }
  void OnWindowMessage(unsigned message) override {
    log.push_back("message " + std::to_string(message));
  }
  void OnActivation(bool) override {}
  void OnResized() override {}
  void OnClose() override { log.push_back("close"); }
  void OnUnexpectedError() override { log.push_back("unexpected error"); }
};

// ---- Helpers ----

struct ChildSearch {
  std::wstring text;
  HWND found = nullptr;
};

BOOL CALLBACK MatchChild(HWND child, LPARAM context) {
  auto* search = reinterpret_cast<ChildSearch*>(context);
  wchar_t text[256] = {};
  GetWindowTextW(child, text, 256);
  if (search->text == text) {
    search->found = child;
    return FALSE;
  }
  return TRUE;
}

HWND ChildByText(HWND window, const std::string& text) {
  ChildSearch search{Widen(text)};
  EnumChildWindows(window, MatchChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void Type(WORD key, WORD modifier = 0) {
  std::vector<INPUT> inputs;
  const auto press = [&inputs](WORD vk, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  };
  if (modifier != 0) press(modifier, false);
  press(key, false);
  press(key, true);
  if (modifier != 0) press(modifier, true);
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void CALLBACK EndMessageLoop(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(1); }

WorkArea PrimaryWorkArea() {
  RECT area;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return {area.left, area.top, area.right - area.left, area.bottom - area.top};
}

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : frontEnd(CreateFrontEnd(events)) {
    frontEnd->SetCaption("Fenstertest - Quennvoldar V1.44");
    frontEnd->SetStatusText("Lade Konfigurationsdatei...");
  }

  HWND Window() const { return reinterpret_cast<HWND>(frontEnd->Handle()); }

  // Lets the window handle what is queued until the run has heard of it;
  // the bound only keeps a broken window from hanging the tests.
  void PumpUntilLogged() {
    const DWORD start = GetTickCount();
    while (events.log.empty() && GetTickCount() - start < 5000) {
      frontEnd->ProcessMessages();
      Sleep(10);
    }
  }

  RecordedEvents events;
  std::unique_ptr<FrontEnd> frontEnd;
};

}  // namespace

// ---- Keyboard ----

TEST_F(MainWindowTest, KeysReachTheCommandsOfTheHiddenMenuAndTheButtons) {
  frontEnd->ShowMainWindow();
  ASSERT_TRUE(SetForegroundWindow(Window()));
  const HWND status = ChildByText(Window(), "Lade Konfigurationsdatei...");
  const HWND minimize = ChildByText(Window(), "&Minimieren");
  const HWND cancel = ChildByText(Window(), "&Abbrechen");
  ASSERT_TRUE(status && minimize && cancel);
  EXPECT_EQ(GetFocus(), status) << "the status line has the focus once shown";

  struct Case {
    const char* name;
    HWND focus;
    WORD key, modifier;
    const char* command;
  };
  const Case cases[] = {
      {"Esc", status, VK_ESCAPE, 0, "cancel"},
      {"Enter on the status line", status, VK_RETURN, 0, "minimize"},
      {"Enter on Abbrechen", cancel, VK_RETURN, 0, "cancel"},
      {"Enter on Minimieren", minimize, VK_RETURN, 0, "minimize"},
      {"Ctrl+M", cancel, 'M', VK_CONTROL, "minimize"},
      {"Alt+F4", status, VK_F4, VK_MENU, "cancel"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetFocus(c.focus);
    events.log.clear();
    Type(c.key, c.modifier);
    PumpUntilLogged();
    frontEnd->ProcessMessages();  // nothing more may follow
    EXPECT_EQ(events.log, std::vector<std::string>{c.command});
  }
}

TEST_F(MainWindowTest, TabMovesFromTheStatusLineToTheButtonsInOrderAndTheDefaultFollows) {
  frontEnd->ShowMainWindow();
  ASSERT_TRUE(SetForegroundWindow(Window()));
  const HWND minimize = ChildByText(Window(), "&Minimieren");
  const HWND cancel = ChildByText(Window(), "&Abbrechen");
  // The dialog manager's question, which the window answers as it draws.
  const auto isDefault = [this](HWND button) {
    return LOWORD(SendMessageW(Window(), DM_GETDEFID, 0, 0)) == GetDlgCtrlID(button);
  };
  // The button Enter presses is the one that looks like the default.
  const struct {
    HWND focus;
    HWND defaultButton;
  } order[] = {{minimize, minimize},
               {cancel, cancel},
               {ChildByText(Window(), "Lade Konfigurationsdatei..."), minimize},
               {minimize, minimize}};
  for (const auto& step : order) {
    SCOPED_TRACE(Narrow(std::wstring(L"focus on ") + [&] {
      wchar_t text[64] = {};
      GetWindowTextW(step.focus, text, 64);
      return std::wstring(text);
    }()));
    Type(VK_TAB);
    const DWORD start = GetTickCount();
    while (GetFocus() != step.focus && GetTickCount() - start < 5000) {
      frontEnd->ProcessMessages();
      Sleep(10);
    }
    frontEnd->ProcessMessages();
    EXPECT_EQ(GetFocus(), step.focus);
    EXPECT_TRUE(isDefault(step.defaultButton));
    EXPECT_FALSE(isDefault(step.defaultButton == minimize ? cancel : minimize));
  }
  EXPECT_TRUE(events.log.empty());
}

TEST_F(MainWindowTest, TheFocusedControlShowsTheStatusColoursSwappedInAWideFrame) {
  StatusStyle style;
  style.textColor = 0x00FFFF;  // yellow on black
  style.backColor = 0x000000;
  frontEnd->ApplyStatusStyle(style);
  frontEnd->ShowMainWindow();
  ASSERT_TRUE(SetForegroundWindow(Window()));
  const HWND status = ChildByText(Window(), "Lade Konfigurationsdatei...");
  const HWND minimize = ChildByText(Window(), "&Minimieren");
  const HWND cancel = ChildByText(Window(), "&Abbrechen");
  // Left of the middle, clear of the text: depth 0 is the control's edge.
  const auto pixel = [](HWND control, int depth) {
    RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    RECT client;
    GetClientRect(control, &client);
    const HDC dc = GetDC(control);
    const COLORREF colour = GetPixel(dc, depth, client.bottom / 2);
    ReleaseDC(control, dc);
    return colour;
  };
  const COLORREF yellow = RGB(255, 255, 0);
  const COLORREF black = RGB(0, 0, 0);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const COLORREF defaultFrame = GetSysColor(COLOR_WINDOWFRAME);

  SetFocus(status);
  EXPECT_EQ(pixel(status, 4), yellow);
  EXPECT_EQ(pixel(minimize, 0), defaultFrame);
  EXPECT_EQ(pixel(minimize, 5), face);

  SetFocus(cancel);
  EXPECT_EQ(pixel(status, 4), black);
  // Inside the default frame three pixels of focus frame, then the face.
  EXPECT_EQ(pixel(cancel, 0), defaultFrame);
  for (const int depth : {1, 2, 3}) EXPECT_EQ(pixel(cancel, depth), black) << depth;
  EXPECT_EQ(pixel(cancel, 6), yellow);
  EXPECT_EQ(pixel(minimize, 5), face);
}

// ---- Messages and closing ----

TEST_F(MainWindowTest, PrivateMessagesReachTheRunAndClosingCancels) {
  SendMessageW(Window(), 1224, 0, 0);
  SendMessageW(Window(), 1124, 0, 0);
  SendMessageW(Window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(events.log, (std::vector<std::string>{"message 1224", "message 1124", "cancel"}));
  EXPECT_TRUE(IsWindow(Window())) << "only the run closes the window";
}

TEST_F(MainWindowTest, PhaseTimersFireFromTheMessageLoopOnly) {
  frontEnd->SetTimerEnabled(1, true);
  // Three intervals of pending ticks, handled the way a running phase does.
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 800) {
    frontEnd->ProcessMessages();
    Sleep(10);
  }
  EXPECT_TRUE(events.log.empty());

  events.onTimer = [this](int timer) {
    frontEnd->SetTimerEnabled(timer, false);
    frontEnd->Close();
  };
  // Ends a loop that no tick would end, so a failure cannot hang the tests.
  const UINT_PTR guard = SetTimer(nullptr, 0, 10000, EndMessageLoop);
  frontEnd->RunMessageLoop(true);
  KillTimer(nullptr, guard);
  EXPECT_EQ(events.log, (std::vector<std::string>{"timer 1", "close"}));
  EXPECT_FALSE(IsWindow(Window()));
}

// ---- Frame, size and font ----

TEST_F(MainWindowTest, TitleBarCanOnlyMinimise) {
  const HMENU menu = GetSystemMenu(Window(), FALSE);
  for (const UINT command : {SC_CLOSE, SC_MAXIMIZE, SC_SIZE, SC_RESTORE}) {
    EXPECT_EQ(GetMenuState(menu, command, MF_BYCOMMAND), static_cast<UINT>(-1)) << command;
  }
  EXPECT_NE(GetMenuState(menu, SC_MINIMIZE, MF_BYCOMMAND), static_cast<UINT>(-1));
  const LONG style = GetWindowLongW(Window(), GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));
}

TEST_F(MainWindowTest, SizeFollowsTheWorkAreaAndRestoringCentres) {
  frontEnd->ShowMainWindow();
  const WorkArea workArea = PrimaryWorkArea();
  const WindowSize size = WindowSizeForWorkArea(workArea);
  const auto bounds = [this] {
    RECT rect;
    GetWindowRect(Window(), &rect);
    return rect;
  };
  SetWindowPos(Window(), nullptr, 0, 0, 300, 200, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(bounds().right - bounds().left, size.width);
  EXPECT_EQ(bounds().bottom - bounds().top, size.height);
  EXPECT_EQ(bounds().left, 0) << "a move alone is no resize";

  // Coming back from the taskbar is a resize: the window is centred again.
  ShowWindow(Window(), SW_MINIMIZE);
  ShowWindow(Window(), SW_RESTORE);
  const WindowPosition centre = CenterOnWorkArea(workArea, size, false);
  EXPECT_EQ(bounds().left, centre.left);
  EXPECT_EQ(bounds().top, centre.top);
  EXPECT_EQ(bounds().right - bounds().left, size.width);
}

TEST_F(MainWindowTest, StatusLineAndButtonsTakeTheStatusFont) {
  StatusStyle style;
  style.fontName = "Arial";
  style.sizePoints = 24;
  style.bold = true;
  frontEnd->ApplyStatusStyle(style);
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  for (const char* text : {"Lade Konfigurationsdatei...", "&Minimieren", "&Abbrechen"}) {
    SCOPED_TRACE(text);
    const HWND control = ChildByText(Window(), text);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    LOGFONTW logFont = {};
    ASSERT_TRUE(GetObjectW(font, sizeof logFont, &logFont));
    EXPECT_EQ(logFont.lfHeight, -MulDiv(24, dpi, 72));
    EXPECT_EQ(logFont.lfWeight, FW_BOLD);
    EXPECT_EQ(Narrow(logFont.lfFaceName), "Arial");
  }
}

TEST_F(MainWindowTest, TrayModeHidesTheWindowAndShowingFocusesTheStatusLine) {
  frontEnd->ShowMainWindow();
  frontEnd->SetTrayIconVisible(true);
  frontEnd->HideMainWindow();
  EXPECT_FALSE(frontEnd->MainWindowVisible());
  EXPECT_TRUE(frontEnd->TrayIconVisible());

  SetFocus(nullptr);
  frontEnd->ShowMainWindow();
  frontEnd->SetTrayIconVisible(false);
  EXPECT_TRUE(frontEnd->MainWindowVisible());
  EXPECT_FALSE(frontEnd->TrayIconVisible());
  EXPECT_EQ(GetFocus(), ChildByText(Window(), "Lade Konfigurationsdatei..."));
}

// ---- Message boxes ----

namespace {

RECT shownBox = {};

BOOL CALLBACK FindThreadBox(HWND window, LPARAM found) {
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  if (lstrcmpW(className, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// Runs inside the box's own message loop: notes where it stands and closes it.
void CALLBACK MeasureAndCloseBox(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindThreadBox, reinterpret_cast<LPARAM>(&box));
  if (box == nullptr) return;
  KillTimer(nullptr, timer);
  GetWindowRect(box, &shownBox);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
}

}  // namespace

TEST(MessageBoxes, LongPathsAreBrokenAtSeparatorsAndTheBoxStaysOnTheWorkArea) {
  std::string path = "C:\\";
  for (int i = 0; i < 12; ++i) path += "Unterordner" + std::to_string(i) + "\\";
  path += "Datei-mit-einem-langen-Namen.txt";
  const std::string text =
      "Beim Kopieren der Datei \"" + path + "\" nach \"" + path + "\" ist ein Fehler aufgetreten!";
  shownBox = {};
  SetTimer(nullptr, 0, 50, MeasureAndCloseBox);
  ShowInformationWithoutWindow(text);
  const WorkArea area = PrimaryWorkArea();
  ASSERT_GT(shownBox.right, shownBox.left) << "no box was seen";
  EXPECT_GE(shownBox.left, area.left);
  EXPECT_LE(shownBox.right, area.left + area.width);
  EXPECT_GE(shownBox.top, area.top);
  EXPECT_LE(shownBox.bottom, area.top + area.height);
}
