// Fuzzes the command-line runner. The input is split at NUL bytes: the first piece is
// the problem file's text, the others are arguments, and the problem file's name comes
// last. Output goes to memory. Runs whose work would only be long (big grids, many
// trials, proofs of more than 5,000 sub-boxes) are skipped or bounded: the target looks
// for crashes, sanitizer reports and hangs in reading, checking and reporting, not for
// slow searches.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_runner.h"
#include "docs/problem_file.h"
#include "model/numtext.h"

namespace {

// Grid points of an Explore run over the problem's box, at most `cap` (+1).
double GridPoints(const quorvant::Problem& problem, double cap) {
  double points = 1;
  for (int i = 0; i < problem.varCount(); ++i) {
    points *= static_cast<double>(problem.subintervals[i]) + 2;
    if (points > cap) return cap + 1;
  }
  return points;
}

std::string TempFile() {
  static const std::string path = [] {
    char name[] = "/tmp/quorvant-cli-fuzz-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd >= 0) ::close(fd);
    return std::string(name);
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> pieces;
  for (size_t start = 0;;) {
    const size_t end = input.find('\0', start);
    pieces.emplace_back(
        input.substr(start, end == std::string_view::npos ? input.npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  const std::string file = pieces.front();
  std::vector<std::string> args(pieces.begin() + 1, pieces.end());

  bool search = false, prove = false;
  for (size_t k = 0; k < args.size(); ++k) {
    if (args[k] == "--explore") search = true;
    if (args[k] == "--prove") prove = true;
    // A proof is bounded by its budget of sub-boxes: one the input sets stays small.
    if (args[k] == "--prove-max-boxes") {
      double boxes = 0;
      if (k + 1 < args.size() && quorvant::ParseNumericText(args[k + 1], boxes) &&
          std::fabs(boxes) > 5000)
        return 0;
    }
    if (args[k] == "--random") {
      search = true;
      double trials = 0;
      if (k + 1 < args.size() && quorvant::ParseNumericText(args[k + 1], trials) &&
          std::fabs(trials) > 50)
        return 0;
    }
  }
  if (search) {
    quorvant::Problem problem;
    std::string error;
    if (quorvant::ReadProblemText(file, problem, error) &&
        (GridPoints(problem, 2000) > 2000 || problem.maxCycles > 50 ||
         problem.formula.size() > 2000))
      return 0;
  }

  if (prove) args.insert(args.begin(), {"--prove-max-boxes", "5000"});

  const std::string path = TempFile();
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
  }
  args.push_back(path);

  char* outBuffer = nullptr;
  char* errBuffer = nullptr;
  size_t outSize = 0, errSize = 0;
  std::FILE* out = open_memstream(&outBuffer, &outSize);
  std::FILE* err = open_memstream(&errBuffer, &errSize);
  const int status = quorvant::RunCli(args, out, err);
  std::fclose(out);
  std::fclose(err);
  const std::string messages(errBuffer, errSize);
  std::free(outBuffer);
  std::free(errBuffer);
  if (status != 0 && status != 2 && status != 3) std::abort();
  // Whatever went wrong was said; and no raw escape character reaches a terminal.
  if (status == 2 && messages.empty()) std::abort();
  if (status == 0 && !messages.empty()) std::abort();
  if (messages.find('\x1b') != std::string::npos) std::abort();
  return 0;
}
