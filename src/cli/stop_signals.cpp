#include "cli/stop_signals.h"

#include <atomic>
#include <csignal>

namespace quorvant {

namespace {

std::atomic<int> caught{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

void OnStopSignal(int signal) {
  int none = 0;
  caught.compare_exchange_strong(none, signal);
}

}  // namespace

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // One signal stops the run; the handler is then reset, so a second one ends the
  // process at once.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int CaughtStopSignal() {
  return caught.load();
}

}  // namespace quorvant
