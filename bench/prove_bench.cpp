// Prove's targets, measured: whole quorvant-cli --prove runs (process start and file
// reading included, best of three wall-clock times) at one thread and at two, after
// checking that both give the expected verdict; then the sub-boxes the proof examines
// with its rule (Krawczyk narrowing, cuts a little off the middle) and with plain
// bisection (every undecided sub-box cut at the middle).
//   prove_bench [FOLDER OF bench/problems AND examples]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "docs/problem_file.h"
#include "model/function_evaluator.h"
#include "prove/enclosure.h"
#include "prove/prover.h"

namespace {

class NullSink : public quorvant::MessageSink {
 public:
  void ShowMessage(std::string_view, std::string_view, quorvant::MessageIcon) override {}
};

struct Case {
  const char* name;
  const char* file;  // under the source folder
  const char* verdict;
};

std::string Run(const std::string& command) {
  std::string out;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
    pclose(pipe);
  }
  return out;
}

double BestOfThree(const std::string& command) {
  double best = 1e300;
  for (int k = 0; k < 3; ++k) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system((command + " > /dev/null").c_str()) != 0) return -1;
    const double t =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    best = std::min(best, t);
  }
  return best;
}

int64_t SubBoxes(const std::string& path, bool narrow) {
  quorvant::Problem problem;
  std::string error;
  if (!quorvant::LoadProblemFile(path, problem, error)) return -1;
  NullSink sink;
  quorvant::FunctionEvaluator evaluator(sink);
  evaluator.Prepare();
  evaluator.RegisterConstants(problem.constants);
  evaluator.SetFunction(problem.varNames, problem.formula);
  const auto compiled =
      quorvant::prove::CompileEnclosure(evaluator, problem.varNames, problem.formula);
  if (!compiled.program) return -1;
  quorvant::prove::Box box;
  for (int i = 0; i < problem.varCount(); ++i)
    box.push_back({problem.lowerLimit[i], problem.upperLimit[i]});
  quorvant::prove::ProveOptions options;
  if (!narrow) {
    options.narrow = false;
    options.cut = 0.5;
  }
  return quorvant::prove::Prove(compiled.program, box, options).boxes;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string source = argc > 1 ? argv[1] : QUORVANT_SOURCE_DIR;
  const std::string cli = QUORVANT_CLI_PROGRAM;
  const Case cases[] = {
      {"Himmelblau on [-5,5]^2", "examples/himmelblau.zvx",
       "All 9 stationary points of the box are listed: 1 maximum, 4 minima, 4 saddles (proven)."},
      {"Rastrigin on [-5.12,5.12]^2", "bench/problems/rastrigin2.zvx",
       "All 441 stationary points of the box are listed: 100 maxima, 121 minima, 220 saddles "
       "(proven)."},
      {"coupled Rastrigin on [-1.2,1.2]^4", "bench/problems/rastrigin4.zvx",
       "All 625 stationary points of the box are listed: 16 maxima, 81 minima, 528 saddles "
       "(proven)."},
      {"separable quartic on [-2,2]^6", "bench/problems/separable6.zvx",
       "All 729 stationary points of the box are listed: 1 maximum, 64 minima, 664 saddles "
       "(proven)."},
  };
  std::printf("| problem | 1 thread | 2 threads | speed-up | sub-boxes | plain bisection |\n");
  std::printf("|---|---:|---:|---:|---:|---:|\n");
  int status = 0;
  for (const Case& c : cases) {
    const std::string path = source + "/" + c.file;
    for (const char* threads : {"1", "2"}) {
      const std::string out = Run(cli + " --prove --threads " + threads + " " + path);
      if (out.find(std::string(c.verdict) + "\n") == std::string::npos) {
        std::fprintf(stderr, "%s, %s threads: not the expected verdict\n", c.name, threads);
        status = 1;
      }
    }
    const double one = BestOfThree(cli + " --prove --threads 1 " + path);
    const double two = BestOfThree(cli + " --prove --threads 2 " + path);
    std::printf("| %s | %.3f s | %.3f s | %.2fx | %lld | %lld |\n", c.name, one, two, one / two,
                static_cast<long long>(SubBoxes(path, true)),
                static_cast<long long>(SubBoxes(path, false)));
  }
  return status;
}
