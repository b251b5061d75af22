// One line of status on a terminal (a run's progress): rewritten in place at most once
// a second, a shorter text padded over a longer one, and erased before anything else
// is written there, so that it never mixes with the results.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>

namespace quorvant {

class TerminalLine {
 public:
  // `file` null: nothing is shown. `clock`: seconds on a steady clock (empty: the
  // system's).
  TerminalLine(std::FILE* file, std::function<double()> clock)
      : file_(file), clock_(std::move(clock)) {
    if (!clock_)
      clock_ = [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
      };
    last_ = clock_();
  }
  // Seconds on the line's clock.
  double Now() const { return clock_(); }
  // True (and the second begins anew) when a second has passed since the last line.
  bool Due() {
    if (!file_) return false;
    const double now = clock_();
    if (now - last_ < 1.0) return false;
    last_ = now;
    return true;
  }
  void Show(std::string line) {
    if (!file_) return;
    const size_t length = line.size();
    if (line.size() < shown_) line.append(shown_ - line.size(), ' ');
    line.insert(line.begin(), '\r');
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
    shown_ = length;
  }
  void Erase() {
    if (!file_ || shown_ == 0) return;
    const std::string blank = "\r" + std::string(shown_, ' ') + "\r";
    std::fwrite(blank.data(), 1, blank.size(), file_);
    std::fflush(file_);
    shown_ = 0;
  }

 private:
  std::FILE* file_;
  std::function<double()> clock_;
  double last_ = 0;
  size_t shown_ = 0;  // characters of the line on show
};

}  // namespace quorvant
