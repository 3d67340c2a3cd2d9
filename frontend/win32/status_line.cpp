#include "frontend/win32/status_line.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "base/text_wrap.h"
#include "platform/win32/wide_text.h"

namespace {

LRESULT CALLBACK StatusLineProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                DWORD_PTR) {
  if (message == WM_SETFOCUS || message == WM_KILLFOCUS) InvalidateRect(window, nullptr, TRUE);
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

HFONT CreateStatusFont(const StatusStyle& style, int points, UINT dpi) {
  LOGFONTW font = {};
  // Points at the window's own density keep the text sharp on every monitor.
  font.lfHeight = -MulDiv(points, static_cast<int>(dpi), 72);
  font.lfWeight = style.bold ? FW_BOLD : FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = DEFAULT_QUALITY;
  const std::wstring face = Widen(style.fontName);
  std::copy_n(face.begin(), std::min(face.size(), std::size(font.lfFaceName) - 1), font.lfFaceName);
  return CreateFontIndirectW(&font);
}

COLORREF StatusColour(int colour) {
  if (colour < 0) return GetSysColor(colour & 0xFF);
  return static_cast<COLORREF>(colour) & 0xFFFFFF;
}

StatusFontMetrics MeasureInContext(HDC dc) {
  const auto width = [dc](const std::wstring& text) {
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
  };
  StatusFontMetrics metrics;
  metrics.lineHeight = width(L"M").cy;
  metrics.textWidth = [width](const std::string& text) {
    return static_cast<int>(width(Widen(text)).cx);
  };
  return metrics;
}

// ---- Trying sizes ----

StatusFontTrials::StatusFontTrials(const StatusStyle& style, UINT dpi)
    : style_(style), dpi_(dpi), dc_(CreateCompatibleDC(nullptr)) {}

StatusFontTrials::~StatusFontTrials() {
  DeleteDC(dc_);
  for (const auto& [points, font] : fonts_) DeleteObject(font);
}

HFONT StatusFontTrials::FontAt(int points) {
  auto found = fonts_.find(points);
  if (found == fonts_.end()) {
    found = fonts_.emplace(points, CreateStatusFont(style_, points, dpi_)).first;
  }
  return found->second;
}

StatusFontMetrics StatusFontTrials::At(int points) {
  const HFONT font = FontAt(points);
  SelectObject(dc_, font);
  StatusFontMetrics metrics = MeasureInContext(dc_);
  // The context is shared: a later measurement selects this font again.
  metrics.textWidth = [dc = dc_, font,
                       measure = std::move(metrics.textWidth)](const std::string& text) {
    SelectObject(dc, font);
    return measure(text);
  };
  return metrics;
}

int StatusFontTrials::WrappedTextHeight(int points, const std::string& text, int width) {
  SelectObject(dc_, FontAt(points));
  const std::wstring wide = Widen(text);
  RECT bounds = {0, 0, width, 0};
  DrawTextW(dc_, wide.c_str(), static_cast<int>(wide.size()), &bounds,
            DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  return bounds.bottom - bounds.top;
}

HFONT StatusFontTrials::Take(int points) {
  const HFONT font = FontAt(points);
  fonts_.erase(points);
  return font;
}

// ---- Painting ----

void RepaintStatusLineOnFocus(HWND status) { SetWindowSubclass(status, StatusLineProc, 0, 0); }

void DrawStatusLine(const DRAWITEMSTRUCT& item, const std::string& text, HFONT font,
                    const StatusStyle& style) {
  // The focus swaps the configured colours: the same contrast, plainly seen.
  const bool focused = GetFocus() == item.hwndItem;
  COLORREF foreground = StatusColour(style.textColor);
  COLORREF background = StatusColour(style.backColor);
  if (focused) std::swap(foreground, background);

  const HDC dc = item.hDC;
  SetDCBrushColor(dc, background);
  FillRect(dc, &item.rcItem, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  const HGDIOBJ previousFont = SelectObject(dc, font);
  SetTextColor(dc, foreground);
  SetBkMode(dc, TRANSPARENT);
  const StatusFontMetrics metrics = MeasureInContext(dc);
  RECT line = item.rcItem;
  for (const std::string& piece :
       WrapText(metrics.textWidth, text, item.rcItem.right - item.rcItem.left)) {
    const std::wstring wide = Widen(piece);
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &line,
              DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    line.top += metrics.lineHeight;
  }
  if (focused) {
    SetDCPenColor(dc, foreground);
    const HGDIOBJ previousPen = SelectObject(dc, GetStockObject(DC_PEN));
    const HGDIOBJ previousBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, item.rcItem.left, item.rcItem.top, item.rcItem.right, item.rcItem.bottom);
    SelectObject(dc, previousBrush);
    SelectObject(dc, previousPen);
  }
  SelectObject(dc, previousFont);
}
