// Looks at and operates another process's windows for the Wine UI tests:
// finds a top-level window by its caption, describes its controls as JSON,
// presses a button by caption, measures a font as the updater would, and
// saves a screenshot as a BMP file.
//
//   ui_driver find TITLE [TIMEOUT_MS]     the window's handle, once it shows
//   ui_driver describe TITLE              handle, window, work area, DPI, focus, default
//                                         button, controls
//   ui_driver click TITLE CAPTION         posts BM_CLICK to that button
//   ui_driver key TITLE VIRTUAL_KEY       posts a key press to the window's focus
//   ui_driver tray-menu                   asks the notification area's one icon for its
//                                         menu, as the context-menu key does on Windows
//   ui_driver menu-key VIRTUAL_KEY        posts a key press to the open popup menu, if one is
//   ui_driver ping TITLE                  sends WM_NULL; how long the window took to answer
//   ui_driver move TITLE LEFT TOP         moves the window (out of a picture's way)
//   ui_driver measure FACE POINTS DPI regular|bold TEXT...   line height of "M", text widths
//   ui_driver screenshot TITLE FILE.bmp   the window as the screen shows it
//
// Fonts cannot be read from another process (a font handle is only valid in
// its own), so tests compare control sizes with "measure" instead.
//
// Exit code 0 on success, 1 when the window or button is missing, 2 on misuse.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// ---- Text ----

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

std::string Json(const std::wstring& text) {
  std::string out = "\"";
  for (const char c : Utf8(text)) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::wstring WindowText(HWND window) {
  wchar_t buffer[1024] = {};
  GetWindowTextW(window, buffer, 1024);
  return buffer;
}

std::wstring ClassName(HWND window) {
  wchar_t buffer[256] = {};
  GetClassNameW(window, buffer, 256);
  return buffer;
}

std::string RectJson(const RECT& r) {
  char out[128];
  std::snprintf(out, sizeof out, "{\"left\": %ld, \"top\": %ld, \"width\": %ld, \"height\": %ld}",
                r.left, r.top, r.right - r.left, r.bottom - r.top);
  return out;
}

// ---- Finding windows ----

struct Search {
  std::wstring title;
  HWND found = nullptr;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  if (IsWindowVisible(window) && WindowText(window) == search->title) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindTopLevel(const std::wstring& title, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    Search search{title};
    EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr || GetTickCount() - start >= timeoutMs) return search.found;
    Sleep(50);
  }
}

BOOL CALLBACK CollectChild(HWND child, LPARAM context) {
  reinterpret_cast<std::vector<HWND>*>(context)->push_back(child);
  return TRUE;
}

std::vector<HWND> Children(HWND window) {
  std::vector<HWND> children;
  EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

// Every window of the class, top-level or inside a top-level one.
std::vector<HWND> WindowsOfClass(const std::wstring& className) {
  std::vector<HWND> topLevel;
  EnumWindows(CollectChild, reinterpret_cast<LPARAM>(&topLevel));
  std::vector<HWND> found;
  for (const HWND window : topLevel) {
    if (ClassName(window) == className) found.push_back(window);
    for (const HWND child : Children(window)) {
      if (ClassName(child) == className) found.push_back(child);
    }
  }
  return found;
}

bool PostKey(HWND window, WPARAM key) {
  return PostMessageW(window, WM_KEYDOWN, key, 1) &&
         PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

// ---- Commands ----

int Find(const std::wstring& title, DWORD timeoutMs) {
  const HWND window = FindTopLevel(title, timeoutMs);
  if (window == nullptr) return 1;
  std::printf("{\"hwnd\": %lu}\n", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)));
  return 0;
}

int Describe(const std::wstring& title) {
  const HWND window = FindTopLevel(title, 0);
  if (window == nullptr) return 1;
  RECT bounds, client, workArea;
  GetWindowRect(window, &bounds);
  GetClientRect(window, &client);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
  POINT clientOrigin = {0, 0};
  ClientToScreen(window, &clientOrigin);
  GUITHREADINFO thread = {};
  thread.cbSize = sizeof thread;
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread);
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);

  std::printf("{\"hwnd\": %lu, \"title\": %s, \"window\": %s, \"client\": %s,\n",
              static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)),
              Json(WindowText(window)).c_str(), RectJson(bounds).c_str(), RectJson(client).c_str());
  std::printf(" \"client_origin\": [%ld, %ld], \"work_area\": %s, \"dpi\": %d,\n", clientOrigin.x,
              clientOrigin.y, RectJson(workArea).c_str(), dpi);
  // The button Enter presses, as the window tells the dialog manager.
  DWORD_PTR defaultId = 0;
  SendMessageTimeoutW(window, DM_GETDEFID, 0, 0, SMTO_NORMAL, 5000, &defaultId);
  std::printf(" \"style\": %lu, \"focus_id\": %d, \"default_id\": %d, \"foreground\": %s,\n",
              static_cast<unsigned long>(GetWindowLongW(window, GWL_STYLE)),
              thread.hwndFocus ? GetDlgCtrlID(thread.hwndFocus) : -1,
              HIWORD(defaultId) == DC_HASDEFID ? LOWORD(defaultId) : -1,
              GetForegroundWindow() == window ? "true" : "false");
  std::printf(" \"controls\": [\n");
  const std::vector<HWND> children = Children(window);
  for (std::size_t i = 0; i < children.size(); ++i) {
    const HWND child = children[i];
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    std::printf(
        "  {\"class\": %s, \"text\": %s, \"id\": %d, \"rect\": %s, \"style\": %lu, "
        "\"visible\": %s}%s\n",
        Json(ClassName(child)).c_str(), Json(WindowText(child)).c_str(), GetDlgCtrlID(child),
        RectJson(rect).c_str(), static_cast<unsigned long>(GetWindowLongW(child, GWL_STYLE)),
        IsWindowVisible(child) ? "true" : "false", i + 1 < children.size() ? "," : "");
  }
  std::printf("]}\n");
  return 0;
}

int Click(const std::wstring& title, const std::wstring& caption) {
  const HWND window = FindTopLevel(title, 0);
  if (window == nullptr) return 1;
  for (const HWND child : Children(window)) {
    if (WindowText(child) == caption && ClassName(child) == L"Button") {
      // Posted: the click may open the next modal box, which must not block us.
      PostMessageW(child, BM_CLICK, 0, 0);
      return 0;
    }
  }
  return 1;
}

// Posted to the focused control, as the system queues a typed key: the
// window's own message loop handles it, whichever window is in front.
int Key(const std::wstring& title, WPARAM key) {
  const HWND window = FindTopLevel(title, 0);
  if (window == nullptr) return 1;
  GUITHREADINFO thread = {};
  thread.cbSize = sizeof thread;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread) ||
      thread.hwndFocus == nullptr) {
    return 1;
  }
  return PostKey(thread.hwndFocus, key) ? 0 : 1;
}

// Wine's notification area has no keyboard way to an icon; its right click
// brings the owner the same WM_CONTEXTMENU notification that the context-menu
// key brings on Windows. The icon is the X11 driver's (Wine 8) or explorer's.
int TrayMenu() {
  std::vector<HWND> icons = WindowsOfClass(L"__winex11_tray_icon");
  if (icons.empty()) icons = WindowsOfClass(L"__wine_tray_icon");
  if (icons.size() != 1) return 1;
  if (!PostMessageW(icons.front(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(4, 4)) ||
      !PostMessageW(icons.front(), WM_RBUTTONUP, 0, MAKELPARAM(4, 4))) {
    return 1;
  }
  std::printf("{\"posted\": true}\n");
  return 0;
}

// A menu's own loop reads the keys of its thread, whichever window they are for.
int MenuKey(WPARAM key) {
  for (const HWND menu : WindowsOfClass(L"#32768")) {
    if (!IsWindowVisible(menu)) continue;
    if (!PostKey(menu, key)) return 1;
    std::printf("{\"posted\": true}\n");
    return 0;
  }
  return 1;
}

// What a screen reader does all the time: a message that needs an answer.
int Ping(const std::wstring& title) {
  const HWND window = FindTopLevel(title, 0);
  if (window == nullptr) return 1;
  const DWORD start = GetTickCount();
  DWORD_PTR result = 0;
  const bool answered =
      SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result) != 0;
  std::printf("{\"answered\": %s, \"ms\": %lu}\n", answered ? "true" : "false",
              static_cast<unsigned long>(GetTickCount() - start));
  return 0;
}

int Move(const std::wstring& title, int left, int top) {
  const HWND window = FindTopLevel(title, 0);
  if (window == nullptr) return 1;
  return SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)
             ? 0
             : 1;
}

// The font the updater makes from the configuration, measured the same way.
int Measure(const std::wstring& face, int points, int dpi, bool bold,
            const std::vector<std::wstring>& texts) {
  LOGFONTW logFont = {};
  logFont.lfHeight = -MulDiv(points, dpi, 72);
  logFont.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  logFont.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(logFont.lfFaceName, face.c_str(), LF_FACESIZE);
  const HFONT font = CreateFontIndirectW(&logFont);
  const HDC dc = CreateCompatibleDC(nullptr);
  const HGDIOBJ previous = SelectObject(dc, font);
  SIZE size;
  GetTextExtentPoint32W(dc, L"M", 1, &size);
  std::printf("{\"line_height\": %ld, \"widths\": [", size.cy);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    GetTextExtentPoint32W(dc, texts[i].c_str(), static_cast<int>(texts[i].size()), &size);
    std::printf("%s%ld", i ? ", " : "", size.cx);
  }
  std::printf("]}\n");
  SelectObject(dc, previous);
  DeleteDC(dc);
  DeleteObject(font);
  return 0;
}

bool WriteBmp(const std::wstring& path, int width, int height, const void* pixels) {
  const DWORD imageSize = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER info = {};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + imageSize;
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = -height;  // top line first
  info.biPlanes = 1;
  info.biBitCount = 32;
  info.biCompression = BI_RGB;
  FILE* out = _wfopen(path.c_str(), L"wb");
  if (out == nullptr) return false;
  const bool written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                       std::fwrite(&info, sizeof info, 1, out) == 1 &&
                       std::fwrite(pixels, imageSize, 1, out) == 1;
  return std::fclose(out) == 0 && written;
}

int Screenshot(const std::wstring& title, const std::wstring& path) {
  const HWND window = FindTopLevel(title, 0);
  if (window == nullptr) return 1;
  RECT bounds;
  GetWindowRect(window, &bounds);
  const int width = bounds.right - bounds.left;
  const int height = bounds.bottom - bounds.top;

  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  const HDC screen = GetDC(nullptr);
  const HDC dc = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  const HGDIOBJ previous = SelectObject(dc, bitmap);
  // From the screen: PrintWindow cannot hand a device context to another
  // process under Wine. Windows above this one would show, so callers take
  // the picture while it is on top.
  const bool copied = BitBlt(dc, 0, 0, width, height, screen, bounds.left, bounds.top, SRCCOPY);
  GdiFlush();
  const bool written = copied && WriteBmp(path, width, height, pixels);
  SelectObject(dc, previous);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return written ? 0 : 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: ui_driver find|describe|click|key|tray-menu|menu-key|ping|move|measure|"
               "screenshot ...\n");
  return 2;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  const std::vector<std::wstring> args(arguments, arguments + count);
  LocalFree(arguments);
  if (args.size() == 2 && args[1] == L"tray-menu") return TrayMenu();
  if (args.size() < 3) return Usage();
  const std::wstring& command = args[1];
  if (command == L"find") return Find(args[2], args.size() > 3 ? std::stoul(args[3]) : 0);
  if (command == L"describe") return Describe(args[2]);
  if (command == L"click" && args.size() == 4) return Click(args[2], args[3]);
  if (command == L"key" && args.size() == 4) return Key(args[2], std::stoul(args[3]));
  if (command == L"menu-key" && args.size() == 3) return MenuKey(std::stoul(args[2]));
  if (command == L"ping") return Ping(args[2]);
  if (command == L"move" && args.size() == 5) {
    return Move(args[2], std::stoi(args[3]), std::stoi(args[4]));
  }
  if (command == L"measure" && args.size() >= 6) {
    return Measure(args[2], std::stoi(args[3]), std::stoi(args[4]), args[5] == L"bold",
                   std::vector<std::wstring>(args.begin() + 6, args.end()));
  }
  if (command == L"screenshot" && args.size() == 4) return Screenshot(args[2], args[3]);
  return Usage();
}
