#include "frontend/win32/push_buttons.h"

#include <algorithm>

#include "frontend/win32/dpi.h"
#include "frontend/win32/status_line.h"

namespace {

void Fill(HDC dc, const RECT& rect, COLORREF colour) {
  SetDCBrushColor(dc, colour);
  FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

}  // namespace

int FocusFrameWidth(UINT dpi) { return std::max(3, MulDiv(3, static_cast<int>(dpi), 96)); }

void DrawPushButton(const DRAWITEMSTRUCT& item, const StatusStyle& style, bool isDefault) {
  const HDC dc = item.hDC;
  const int dpi = static_cast<int>(WindowDpi(item.hwndItem));
  const bool focused = (item.itemState & ODS_FOCUS) != 0;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  RECT rect = item.rcItem;
  if (isDefault) {
    const int width = std::max(1, MulDiv(1, dpi, 96));
    Fill(dc, rect, GetSysColor(COLOR_WINDOWFRAME));
    InflateRect(&rect, -width, -width);
  }

  COLORREF captionColour = GetSysColor(COLOR_BTNTEXT);
  if (focused) {
    // The frame in the caption's colour, the face in the other one.
    captionColour = StatusColour(style.backColor);
    Fill(dc, rect, captionColour);
    RECT face = rect;
    const int frame = FocusFrameWidth(static_cast<UINT>(dpi));
    InflateRect(&face, -frame, -frame);
    Fill(dc, face, StatusColour(style.textColor));
  } else {
    DrawFrameControl(dc, &rect, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
  }

  wchar_t caption[64] = {};
  GetWindowTextW(item.hwndItem, caption, 64);
  const auto font = reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
  const HGDIOBJ previousFont = SelectObject(dc, font);
  SetTextColor(dc, captionColour);
  SetBkMode(dc, TRANSPARENT);
  if (pressed) OffsetRect(&rect, 1, 1);
  DrawTextW(dc, caption, -1, &rect,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE |
                ((item.itemState & ODS_NOACCEL) != 0 ? DT_HIDEPREFIX : 0));
  SelectObject(dc, previousFont);
}
