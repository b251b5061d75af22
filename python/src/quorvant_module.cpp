// The engine for Python: the problem checked and read and written as the runner does,
// search runs with the runner's listing, and the formula evaluated over arrays. The
// Python package (quorvant/__init__.py) wraps these functions in its public API.
//
// A run works on a thread of its own while the calling thread, without the GIL, waits
// for it: every few hundredths of a second that thread takes the GIL back to let Python
// handle its signals (Ctrl+C stops the run) and to call the progress callback.
#include <pybind11/functional.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_runner.h"
#include "cli/prove_command.h"
#include "docs/problem_file.h"
#include "engine/listing.h"
#include "engine/point_kind.h"
#include "engine/random_source.h"
#include "engine/search_engine.h"
#include "model/function_evaluator.h"
#include "model/problem.h"
#include "model/script/jit.h"
#include "model/script/script_error.h"

namespace py = pybind11;

namespace quorvant {
namespace {

// Keeps the messages the evaluator would show as boxes, "TITLE: text" with the line
// breaks of the text made real.
class CollectingSink final : public MessageSink {
 public:
  void ShowMessage(std::string_view title, std::string_view text, MessageIcon) override {
    std::string line(title);
    line += ": ";
    for (const char c : text) line += c == '\r' ? '\n' : c;
    std::lock_guard lock(mutex_);
    messages_.push_back(std::move(line));
  }
  std::vector<std::string> Take() {
    std::lock_guard lock(mutex_);
    return std::move(messages_);
  }
  size_t Count() {
    std::lock_guard lock(mutex_);
    return messages_.size();
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> messages_;
};

// The problem as the Python side holds it: a dict of plain values.
Problem ProblemFrom(const py::dict& d) {
  Problem p;
  p.formula = d["formula"].cast<std::string>();
  p.varNames = d["names"].cast<std::vector<std::string>>();
  p.constants = d["constants"].cast<std::vector<std::string>>();
  p.errorBound = d["error_bound"].cast<double>();
  p.maxCycles = d["max_cycles"].cast<int32_t>();
  p.lowerLimit = d["lower"].cast<std::vector<double>>();
  p.upperLimit = d["upper"].cast<std::vector<double>>();
  p.subintervals = d["subintervals"].cast<std::vector<int32_t>>();
  p.maxima = d["maxima"].cast<std::vector<StoredPoint>>();
  p.minima = d["minima"].cast<std::vector<StoredPoint>>();
  return p;
}

py::dict DictFrom(const Problem& p) {
  py::dict d;
  d["formula"] = p.formula;
  d["names"] = p.varNames;
  d["constants"] = p.constants;
  d["error_bound"] = p.errorBound;
  d["max_cycles"] = p.maxCycles;
  d["lower"] = p.lowerLimit;
  d["upper"] = p.upperLimit;
  d["subintervals"] = p.subintervals;
  d["maxima"] = p.maxima;
  d["minima"] = p.minima;
  return d;
}

// A prepared evaluator of the problem's function, or the runner's message for the
// first user constant that cannot be executed.
std::string PrepareEvaluator(FunctionEvaluator& evaluator, const Problem& problem) {
  evaluator.Prepare();
  if (const ConstantFailure failure = evaluator.RegisterConstants(problem.constants))
    return ConstantFailureMessage(failure);
  evaluator.SetFunction(problem.varNames, problem.formula);
  return {};
}

// What the window's fields and the problem file refuse, in the file's words; then a
// user constant that cannot be executed. Empty when the problem is sound.
std::string Check(const py::dict& d) {
  const Problem problem = ProblemFrom(d);
  std::string text, error;
  if (!WriteProblemText(problem, text, error)) {
    // The reason alone, as the runner gives it for a file holding the same value.
    constexpr std::string_view kSaving = "The problem cannot be saved: ";
    if (error.starts_with(kSaving)) {
      error.erase(0, kSaving.size());
      if (!error.empty() && error[0] >= 'a' && error[0] <= 'z') error[0] = error[0] - 'a' + 'A';
    }
    return error;
  }
  CollectingSink sink;
  FunctionEvaluator evaluator(sink);
  return PrepareEvaluator(evaluator, problem);
}

py::dict Load(const std::string& path) {
  Problem problem;
  std::string error;
  if (!LoadProblemFile(path, problem, error)) throw py::value_error(path + ": " + error);
  return DictFrom(problem);
}

void Save(const std::string& path, const py::dict& d) {
  const Problem problem = ProblemFrom(d);
  std::string text, error;
  if (!WriteProblemText(problem, text, error)) throw py::value_error(error);
  const SaveResult saved = SaveProblemFile(path, problem);
  if (!saved.ok()) {
    PyErr_SetString(PyExc_OSError, saved.reason.c_str());
    throw py::error_already_set();
  }
}

const char* KindName(PointKind kind) {
  switch (kind) {
    case PointKind::Minimum:
      return "minimum";
    case PointKind::Maximum:
      return "maximum";
    case PointKind::Indefinite:
      return "saddle";
    case PointKind::Semidefinite:
      return "semidefinite";
    case PointKind::PositiveSemidefinite:
      return "positive semidefinite";
    case PointKind::NegativeSemidefinite:
      return "negative semidefinite";
  }
  return "unknown";
}

// The run's side of the hooks: lines and stationary points kept, the counts of work
// done published for the waiting thread, Stop read from a flag it sets. The engine
// calls StopRequested from its worker threads too.
class PythonHooks final : public RunHooks {
 public:
  explicit PythonHooks(bool info) : info_(info) {}
  void AppendLine(std::string_view line) override { lines.emplace_back(line); }
  bool ShowAdditionalInfo() override { return info_; }
  bool StopRequested() override { return stop.load(std::memory_order_relaxed); }
  void ReportWork(int64_t done, int64_t total, int64_t) override {
    done_.store(done, std::memory_order_relaxed);
    total_.store(total, std::memory_order_relaxed);
  }
  // Kept flat, a few dozen bytes each: a Random run of millions of trials meets as
  // many stationary points.
  void StationaryPointMet(const StationaryPoint& point) override {
    met.points.insert(met.points.end(), point.point.begin(), point.point.end());
    met.starts.insert(met.starts.end(), point.start.begin(), point.start.end());
    met.pivots.push_back(point.smallestPivot);
    met.cycles.push_back(point.cycles);
    met.kinds.push_back(static_cast<uint8_t>(point.kind));
    met.stored.push_back(point.stored);
  }
  std::pair<int64_t, int64_t> Work() const {
    return {done_.load(std::memory_order_relaxed), total_.load(std::memory_order_relaxed)};
  }

  std::atomic<bool> stop{false};
  std::vector<std::string> lines;
  struct Met {
    std::vector<double> points, starts;  // n values each
    std::vector<double> pivots;
    std::vector<int32_t> cycles;
    std::vector<uint8_t> kinds, stored;
  } met;

 private:
  bool info_;
  std::atomic<int64_t> done_{-1};
  std::atomic<int64_t> total_{-1};
};

// A k x n array of the first n values of each row.
py::array_t<double> Matrix(const std::vector<std::vector<double>>& rows, size_t n) {
  py::array_t<double> a({rows.size(), n});
  auto m = a.mutable_unchecked<2>();
  for (size_t i = 0; i < rows.size(); ++i)
    for (size_t j = 0; j < n; ++j) m(i, j) = rows[i][j];
  return a;
}

py::array_t<double> Vector(const std::vector<double>& values) {
  py::array_t<double> a(values.size());
  std::copy(values.begin(), values.end(), a.mutable_data());
  return a;
}

// One search run of the problem, as quorvant-cli --explore or --random N makes it. The
// result is a dict the Python side turns into its result object. Raises ValueError when
// the problem cannot be searched, KeyboardInterrupt (or whatever the progress callback
// raised) when the run was stopped that way.
py::dict Run(const py::dict& d, int32_t trials, int threads, bool info, py::object progress,
             std::optional<uint64_t> seed, int64_t partSize, double progressInterval) {
  const Problem problem = ProblemFrom(d);
  CollectingSink sink;
  FunctionEvaluator evaluator(sink);
  if (const std::string failure = PrepareEvaluator(evaluator, problem); !failure.empty())
    throw py::value_error(failure);
  SearchOptions options =
      trials > 0 ? SearchOptions::Random(trials, threads) : SearchOptions::Explore(threads);
  options.partSize = partSize;
  std::unique_ptr<RandomSource> random;
  if (seed) {
    // The clock the source mixes in before every coordinate, made a counter from the
    // seed: the same seed draws the same starting points.
    random = std::make_unique<ClockRandomSource>(
        [tick = *seed]() mutable { return tick += 0x9E3779B97F4A7C15ull; });
  }
  PythonHooks hooks(info);
  SearchEngine engine(evaluator, hooks, random.get(), evaluator.Copies());

  RunResult result;
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::optional<py::error_already_set> raised;
  {
    py::gil_scoped_release release;
    std::thread worker([&] {
      RunResult r = engine.Compute({std::make_shared<const Problem>(problem), options});
      std::lock_guard lock(mutex);
      result = std::move(r);
      done = true;
      finished.notify_one();
    });
    using Clock = std::chrono::steady_clock;
    auto lastReport = Clock::now();
    std::pair<int64_t, int64_t> reported{-1, -1};
    std::unique_lock lock(mutex);
    while (!done) {
      finished.wait_for(lock, std::chrono::milliseconds(20));
      if (done || raised) continue;
      lock.unlock();
      {
        py::gil_scoped_acquire acquire;
        try {
          if (PyErr_CheckSignals() != 0) throw py::error_already_set();
          const auto now = Clock::now();
          const auto work = hooks.Work();
          if (!progress.is_none() && work.second >= 0 && work != reported &&
              std::chrono::duration<double>(now - lastReport).count() >= progressInterval) {
            lastReport = now;
            reported = work;
            progress(work.first, work.second);
          }
        } catch (py::error_already_set& e) {
          raised.emplace(std::move(e));
          hooks.stop = true;
        }
      }
      lock.lock();
    }
    lock.unlock();
    worker.join();
  }
  if (raised) throw std::move(*raised);
  const RunSummary& summary = result.summary;
  if (summary.end == RunEnd::Refused) throw py::value_error(summary.reason);
  if (summary.end == RunEnd::Internal)
    throw std::runtime_error(RunFailureMessage(summary, problem.varNames));

  Problem after = problem;
  result.ApplyTo(after);
  hooks.lines.push_back(CountsCaption(after.maxCount(), after.minCount()));
  if (!progress.is_none()) {
    const auto work = hooks.Work();
    if (work.second >= 0) progress(work.first, work.second);
  }

  const size_t n = problem.varNames.size();
  py::dict out;
  out["problem"] = DictFrom(after);
  out["listing"] = hooks.lines;
  // Refused and internal failures were raised above: what is left is named as the
  // engine names it ("completed", "failed", "stopped", "store full").
  out["end"] = ToString(summary.end);
  std::vector<std::string> messages = sink.Take();
  std::string error;
  if (summary.end == RunEnd::Failed)
    error = !messages.empty() ? messages.back() : RunFailureMessage(summary, problem.varNames);
  out["error"] = error;
  out["error_number"] = summary.errorNumber;
  out["failed_at"] = Vector(summary.failedAt);
  out["messages"] = messages;
  // The function values at the stored extrema, evaluated afresh as the listing of a
  // problem file's extrema does (NaN where the formula fails there).
  const auto values = [&](const std::vector<StoredPoint>& stored) {
    std::vector<double> v;
    for (const StoredPoint& p : stored) {
      double value = 0;
      v.push_back(evaluator.EvaluateFunction(std::span(p.data(), n), value) == 0
                      ? value
                      : std::numeric_limits<double>::quiet_NaN());
    }
    return v;
  };
  const auto pivots = [&](const std::vector<StoredPoint>& stored) {
    std::vector<double> v;
    for (const StoredPoint& p : stored) v.push_back(p[n]);
    return v;
  };
  out["maxima"] = Matrix(after.maxima, n);
  out["minima"] = Matrix(after.minima, n);
  out["maxima_values"] = Vector(values(after.maxima));
  out["minima_values"] = Vector(values(after.minima));
  out["maxima_pivots"] = Vector(pivots(after.maxima));
  out["minima_pivots"] = Vector(pivots(after.minima));
  const PythonHooks::Met& met = hooks.met;
  const size_t count = met.pivots.size();
  const auto flat = [&](const std::vector<double>& values) {
    py::array_t<double> a({count, n});
    std::copy(values.begin(), values.end(), a.mutable_data());
    return a;
  };
  out["points"] = flat(met.points);
  out["starts"] = flat(met.starts);
  py::list kinds;
  const py::str names[] = {KindName(PointKind::Minimum),
                           KindName(PointKind::Maximum),
                           KindName(PointKind::Indefinite),
                           KindName(PointKind::Semidefinite),
                           KindName(PointKind::PositiveSemidefinite),
                           KindName(PointKind::NegativeSemidefinite)};
  for (const uint8_t kind : met.kinds) kinds.append(names[kind]);
  out["kinds"] = kinds;
  out["pivots"] = Vector(met.pivots);
  out["cycles"] = py::array_t<int32_t>(count, met.cycles.data());
  py::array_t<bool> stored(count);
  std::transform(met.stored.begin(), met.stored.end(), stored.mutable_data(),
                 [](uint8_t s) { return s != 0; });
  out["stored"] = stored;
  const RunProblems& flags = result.problems;
  py::dict f;
  f["convergence"] = flags.convProblems;
  f["inconsistence"] = flags.inconsistence;
  f["linear_dependence"] = flags.linDependence;
  f["illegal_quantity"] = (flags.problemBits & 1) != 0;
  f["overflow"] = (flags.problemBits & 2) != 0;
  out["flags"] = f;
  return out;
}

// The formula at every row of `points`. The paths: "compiled" (machine code where the
// formula allows, else the interpreter's fast path, as a run evaluates), "interpreter"
// (the fast path without machine code), "statements" (every assignment and the
// formula through statement text and the Variant machine). Every path gives the same
// values. A failing row gives NaN and, in the returned error, the first failure: row,
// number and message.
py::tuple Evaluate(const std::string& formula, const std::vector<std::string>& names,
                   py::array_t<double, py::array::c_style | py::array::forcecast> points,
                   const std::vector<std::string>& constants, const std::string& path,
                   bool stopAtError, int threads) {
  if (points.ndim() != 2 || static_cast<size_t>(points.shape(1)) != names.size())
    throw py::value_error("points must be an array of shape (m, " + std::to_string(names.size()) +
                          "): one column per variable");
  if (path != "compiled" && path != "interpreter" && path != "statements")
    throw py::value_error("unknown evaluation path " + path);
  Problem problem;
  problem.formula = formula;
  problem.varNames = names;
  problem.constants = constants;
  CollectingSink sink;
  FunctionEvaluator evaluator(sink);
  if (const std::string failure = PrepareEvaluator(evaluator, problem); !failure.empty())
    throw py::value_error(failure);
  evaluator.SetFastPath(path != "statements");
  evaluator.SetCompiledCode(path == "compiled");
  const auto m = static_cast<size_t>(points.shape(0));
  const size_t n = names.size();
  py::array_t<double> values(m);
  double* out = values.mutable_data();
  const double* in = points.data();
  // Rows [first, last) on one evaluator; the first failing row and its number.
  struct Failure {
    int64_t row = -1;
    int32_t number = 0;
  };
  const auto rows = [&](PointFunction& function, size_t first, size_t last) {
    Failure failure;
    for (size_t i = first; i < last; ++i) {
      double value = 0;
      if (const int32_t e = function.EvaluateFunction(std::span(in + i * n, n), value)) {
        value = std::numeric_limits<double>::quiet_NaN();
        if (failure.row < 0) {
          failure = {static_cast<int64_t>(i), e};
          if (stopAtError) break;
        }
      }
      out[i] = value;
    }
    return failure;
  };
  // Long arrays are cut into one block per thread, each evaluated by an evaluator
  // prepared as this one is.
  constexpr size_t kRowsPerThread = 20000;
  const size_t blocks =
      std::clamp<size_t>(m / kRowsPerThread, 1, static_cast<size_t>(ThreadsFor(threads)));
  Failure first;
  {
    py::gil_scoped_release release;
    if (blocks == 1) {
      first = rows(evaluator, 0, m);
    } else {
      const auto copies = evaluator.Copies();
      std::vector<Failure> failures(blocks);
      std::vector<std::thread> workers;
      for (size_t b = 0; b < blocks; ++b)
        workers.emplace_back([&, b] {
          const std::unique_ptr<PointFunction> function = copies();
          failures[b] = rows(*function, m * b / blocks, m * (b + 1) / blocks);
        });
      for (std::thread& worker : workers) worker.join();
      for (const Failure& failure : failures)
        if (failure.row >= 0) {
          first = failure;
          break;
        }
      // The message of the first failure, from the evaluator that keeps messages.
      if (first.row >= 0) {
        double value = 0;
        evaluator.EvaluateFunction(std::span(in + first.row * n, n), value);
      }
    }
  }
  const int64_t errorRow = first.row;
  const int32_t errorNumber = first.number;
  std::string message;
  if (errorRow >= 0) {
    const std::vector<std::string> messages = sink.Take();
    message = !messages.empty() ? messages.front()
                                : "error " + std::to_string(errorNumber) + ": " +
                                      std::string(script::ErrorDescription(errorNumber));
  }
  return py::make_tuple(values, errorRow, errorNumber, message);
}

// The proof of completeness, as quorvant-cli --prove makes it (the same code, in this
// process, on the problem written to a scratch file): its listing, messages and exit
// status. `budget` holds the runner's budget options with their values. Ctrl+C stops it
// as SIGINT stops the runner, and is raised.
py::dict ProveListing(const py::dict& d, int threads, const std::vector<std::string>& budget) {
  const Problem problem = ProblemFrom(d);
  char folder[] = "/tmp/quorvant-prove-XXXXXX";
  if (!::mkdtemp(folder)) throw std::runtime_error("cannot make a scratch folder in /tmp");
  const std::string file = std::string(folder) + "/problem.zvx";
  struct Cleanup {
    std::string file, folder;
    ~Cleanup() {
      std::remove(file.c_str());
      ::rmdir(folder.c_str());
    }
  } cleanup{file, folder};
  if (const SaveResult saved = SaveProblemFile(file, problem); !saved.ok())
    throw py::value_error(saved.reason);

  std::atomic<int> stop{0};
  CliHost host;
  host.program = "quorvant.prove";
  host.stopSignal = [&stop] { return stop.load(std::memory_order_relaxed); };
  char* outText = nullptr;
  char* errText = nullptr;
  size_t outSize = 0, errSize = 0;
  int status = 0;
  std::optional<py::error_already_set> raised;
  {
    py::gil_scoped_release release;
    std::FILE* out = ::open_memstream(&outText, &outSize);
    std::FILE* err = ::open_memstream(&errText, &errSize);
    std::atomic<bool> done{false};
    std::thread worker([&] {
      std::vector<std::string> args = {"--prove", file};
      args.insert(args.begin() + 1, budget.begin(), budget.end());
      if (threads > 0) args.insert(args.begin() + 1, {"--threads", std::to_string(threads)});
      status = RunCli(args, out, err, host);
      done = true;
    });
    while (!done) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      py::gil_scoped_acquire acquire;
      try {
        if (!raised && PyErr_CheckSignals() != 0) throw py::error_already_set();
      } catch (py::error_already_set& e) {
        raised.emplace(std::move(e));
        stop = SIGINT;
      }
    }
    worker.join();
    std::fclose(out);
    std::fclose(err);
  }
  const std::string listing(outText, outSize), messages(errText, errSize);
  std::free(outText);
  std::free(errText);
  if (raised) throw std::move(*raised);
  py::dict result;
  result["listing"] = listing;
  result["messages"] = messages;
  result["status"] = status;
  return result;
}

}  // namespace
}  // namespace quorvant

PYBIND11_MODULE(_quorvant, m) {
  using namespace quorvant;
  m.doc() = "The Quorvant engine (use the quorvant package, not this module)";
  m.def("check", &Check, py::arg("problem"));
  m.def("load", &Load, py::arg("path"));
  m.def("save", &Save, py::arg("path"), py::arg("problem"));
  m.def("run", &Run, py::arg("problem"), py::arg("trials"), py::arg("threads"), py::arg("info"),
        py::arg("progress"), py::arg("seed"), py::arg("part_size"), py::arg("progress_interval"));
  m.def("evaluate", &Evaluate, py::arg("formula"), py::arg("names"), py::arg("points"),
        py::arg("constants"), py::arg("path"), py::arg("stop_at_error"), py::arg("threads"));
  m.def("prove", &ProveListing, py::arg("problem"), py::arg("threads"), py::arg("budget"));
  m.attr("prove_available") = ProveAvailable();
  m.attr("compiled_code") = script::CompilerAvailable();
  m.attr("max_variables") = kMaxVariables;
}
