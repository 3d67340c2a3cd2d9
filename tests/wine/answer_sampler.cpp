// Samples how long a window takes to answer, for the answer-time benchmark
// under Wine (bench/answer/run_wine.py):
//
//   answer_sampler TITLE_END [INTERVAL_MS]
//
// Every INTERVAL_MS (default 100) it looks for the top-level window whose
// title ends with TITLE_END and sends it WM_NULL, as a screen reader's
// queries reach it, printing one line per sample: the milliseconds since the
// sampler started and those until the window answered (or until Windows gave
// up on a window that stopped handling messages). Samples while no such
// window exists are left out. Runs until it is ended.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr UINT kGiveUpMs = 10000;

struct Search {
  std::wstring titleEnd;
  HWND found = nullptr;
};

BOOL CALLBACK MatchTitleEnd(HWND window, LPARAM context) {
  auto& search = *reinterpret_cast<Search*>(context);
  wchar_t title[260];
  const int length = GetWindowTextW(window, title, 260);
  const std::wstring text(title, static_cast<std::size_t>(std::max(length, 0)));
  if (text.size() >= search.titleEnd.size() &&
      text.compare(text.size() - search.titleEnd.size(), search.titleEnd.size(), search.titleEnd) ==
          0) {
    search.found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindByTitleEnd(const std::wstring& titleEnd) {
  Search search{titleEnd};
  EnumWindows(MatchTitleEnd, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

double Milliseconds(LONGLONG ticks) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: answer_sampler TITLE_END [INTERVAL_MS]\n");
    return 2;
  }
  const std::wstring titleEnd = argv[1];
  const DWORD interval = argc == 3 ? static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)) : 100;
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  for (;;) {
    const DWORD started = GetTickCount();
    if (const HWND window = FindByTitleEnd(titleEnd)) {
      LARGE_INTEGER sent;
      LARGE_INTEGER answered;
      DWORD_PTR result = 0;
      QueryPerformanceCounter(&sent);
      SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_NORMAL, kGiveUpMs,
                          &result);
      QueryPerformanceCounter(&answered);
      // A window that went meanwhile gave no answer worth counting.
      if (IsWindow(window)) {
        std::printf("%.0f %.1f\n", Milliseconds(sent.QuadPart - start.QuadPart),
                    Milliseconds(answered.QuadPart - sent.QuadPart));
        std::fflush(stdout);
      }
    }
    // A late answer moves the next sample on rather than sending a burst.
    const DWORD spent = GetTickCount() - started;
    if (spent < interval) Sleep(interval - spent);
  }
}
