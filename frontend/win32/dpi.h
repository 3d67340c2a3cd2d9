// Dots per inch of a window and metrics at that density. The per-monitor
// functions exist from Windows 10 1607 on; older systems get the system DPI.
#pragma once

#include <windows.h>

UINT WindowDpi(HWND window);
int SystemMetricForDpi(int index, UINT dpi);
