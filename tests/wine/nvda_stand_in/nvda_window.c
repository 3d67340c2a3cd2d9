/* Stands in for NVDA's main window under Wine: a hidden top-level window of
 * class "wxWindowClassNR" titled "NVDA" that stays until the process is
 * killed. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)previous;
  (void)commandLine;
  (void)show;
  WNDCLASSW windowClass = {0};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = L"wxWindowClassNR";
  if (RegisterClassW(&windowClass) == 0) return 1;
  if (CreateWindowExW(0, L"wxWindowClassNR", L"NVDA", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, NULL,
                      NULL, instance, NULL) == NULL) {
    return 1;
  }
  MSG message;
  while (GetMessageW(&message, NULL, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}
