// What the runner's commands write: result lines to stdout through a stream that
// remembers its first write failure (a full disk or a closed pipe is reported, not
// ignored), and messages to stderr after the program's name.
#pragma once

#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>

#include "cli/cli_runner.h"

namespace quorvant {

class Output {
 public:
  explicit Output(std::FILE* file) : file_(file) {}
  void Line(std::string_view line) { Write(line, true); }
  void Text(std::string_view text) { Write(text, false); }
  // Flushes; 0 when everything was written, else the errno of the first failure.
  int Finish() {
    if (error_ == 0 && std::fflush(file_) != 0) error_ = errno ? errno : EIO;
    return error_;
  }

 private:
  void Write(std::string_view text, bool newline) {
    if (error_ != 0) return;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() ||
        (newline && std::fputc('\n', file_) == EOF))
      error_ = errno ? errno : EIO;
  }
  std::FILE* file_;
  int error_ = 0;
};

// "PROGRAM: text" and a line end on `err`.
inline void Message(const CliHost& host, std::FILE* err, std::string_view text) {
  std::string line = host.program + ": ";
  line += text;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), err);
}

}  // namespace quorvant
