// Samples how long a window takes to answer, for bench/answer/run.py:
//
//   qv_answer_sampler TITLE_END [INTERVAL_MS]
//
// Every INTERVAL_MS (default 100) it looks for the window whose title ends
// with TITLE_END and sends it a message nobody handles, printing one line
// per sample: the milliseconds since the sampler started and those until
// the window had handled the message. Samples
// while no such window exists are left out. Runs until it is ended.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/window_messages.h"

namespace {

// No window reacts to it; its answer says only that the window handles messages.
constexpr unsigned kNoOpMessage = 0;

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: qv_answer_sampler TITLE_END [INTERVAL_MS]\n");
    return 2;
  }
  const std::string titleEnd = argv[1];
  const auto interval = std::chrono::milliseconds(argc == 3 ? std::stoi(argv[2]) : 100);
  using Steady = std::chrono::steady_clock;
  using Milliseconds = std::chrono::duration<double, std::milli>;
  const Steady::time_point start = Steady::now();
  Steady::time_point next = start;
  for (;;) {
    const WindowHandle window = FindWindowByTitleEnd(titleEnd);
    if (window != 0) {
      const Steady::time_point sent = Steady::now();
      SendWindowMessage(window, kNoOpMessage);
      const Milliseconds answered = Steady::now() - sent;
      std::printf("%.0f %.1f\n", Milliseconds(sent - start).count(), answered.count());
      std::fflush(stdout);
    }
    // A late answer moves the next sample on rather than sending a burst.
    next = std::max(next + interval, Steady::now());
    std::this_thread::sleep_until(next);
  }
}
