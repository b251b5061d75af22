#include "cli/stop_signals.h"

#include <atomic>
#include <csignal>

namespace quorvant {

namespace {

std::atomic<int> caught{0};
std::atomic<int> sender{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

void OnStopSignal(int signal, siginfo_t* info, void*) {
  int none = 0;
  // The sender is stored first: whoever sees the signal sees who sent it.
  if (caught.load() == 0 && info) sender.store(info->si_pid);
  caught.compare_exchange_strong(none, signal);
}

}  // namespace

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_sigaction = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // One signal stops the run; the handler is then reset, so a second one ends the
  // process at once.
  action.sa_flags = SA_RESETHAND | SA_RESTART | SA_SIGINFO;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int CaughtStopSignal() {
  return caught.load();
}

int CaughtStopSender() {
  return caught.load() != 0 ? sender.load() : 0;
}

}  // namespace quorvant
