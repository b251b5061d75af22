// The headless runner's work, apart from the process: parse the arguments, run the
// command, write to the given streams, return the exit status.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace quorvant {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;         // bad usage, or a file that cannot be read
inline constexpr int kExitScriptError = 3;   // the interpreter reported an error

int RunCli(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace quorvant
