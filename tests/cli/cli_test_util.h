// Runs the headless runner in-process and captures what it writes.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "model/text_safety.h"

namespace quorvant::testing {

struct CliResult {
  int status;
  std::string out;
  std::string err;
};

inline CliResult RunCaptured(const std::vector<std::string>& args, const CliHost& host = {}) {
  char* outBuffer = nullptr;
  char* errBuffer = nullptr;
  size_t outSize = 0, errSize = 0;
  std::FILE* out = open_memstream(&outBuffer, &outSize);
  std::FILE* err = open_memstream(&errBuffer, &errSize);
  const int status = RunCli(args, out, err, host);
  std::fclose(out);
  std::fclose(err);
  CliResult result{status, std::string(outBuffer, outSize), std::string(errBuffer, errSize)};
  std::free(outBuffer);
  std::free(errBuffer);
  return result;
}

// A run whose plots go to `plot` instead of the plot module.
inline CliResult RunCaptured(const std::vector<std::string>& args, const PlotRenderer& plot) {
  CliHost host;
  host.plot = plot;
  return RunCaptured(args, host);
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A fresh temporary folder of this process's own.
inline std::filesystem::path TempDir() {
  static int counter = 0;
  const auto dir =
      std::filesystem::temp_directory_path() /
      ("quorvant-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  // Emptied first: an earlier process with the same number may have left it behind.
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// A private copy of a file in a fresh temporary folder.
inline std::filesystem::path CopyToTemp(const std::filesystem::path& from) {
  const auto to = TempDir() / from.filename();
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
  return to;
}

}  // namespace quorvant::testing
