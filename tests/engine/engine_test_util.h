// A problem ready to search, with hooks that record what the run lists, and functions
// and random sources the tests control.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/search_engine.h"
#include "model/function_evaluator.h"
#include "model/problem.h"
#include "model/script/host_object.h"

namespace quorvant {

// Failure output names the enumerators, not their bytes.
inline void PrintTo(RunEnd end, std::ostream* os) {
  *os << ToString(end);
}
inline void PrintTo(PointKind kind, std::ostream* os) {
  *os << ToString(kind);
}

namespace testing {

// One run of `problem` as the window and the runners make it: the result applied to the
// problem (its stored extrema replaced by the run's).
inline RunResult ComputeInto(SearchEngine& engine, Problem& problem, const SearchOptions& options) {
  RunResult result = engine.Compute({std::make_shared<const Problem>(problem), options});
  result.ApplyTo(problem);
  return result;
}

class RecordingSink : public MessageSink {
 public:
  void ShowMessage(std::string_view title, std::string_view text, MessageIcon) override {
    messages.push_back(std::string(title) + ": " + std::string(text));
  }
  std::vector<std::string> messages;
};

class RecordingHooks : public RunHooks {
 public:
  void AppendLine(std::string_view line) override { lines.emplace_back(line); }
  bool ShowAdditionalInfo() override { return info; }
  void Yield() override { ++yields; }
  bool StopRequested() override { return ++polls > stopAfterPolls; }
  void StationaryPointMet(const StationaryPoint& point) override { met.push_back(point); }
  std::vector<std::string> lines;
  std::vector<StationaryPoint> met;
  bool info = false;
  int yields = 0;
  long polls = 0;
  long stopAfterPolls = 1L << 62;
};

// A host object "rec" whose method Note(x, y, ...) records its arguments and returns
// 0, so a formula can show where it was evaluated.
class Recorder : public script::HostObject {
 public:
  explicit Recorder(int arity) { members_.push_back({"Note", MemberKind::Method, arity}); }
  std::span<const Member> Members() const override { return members_; }
  int32_t Call(int, std::span<const script::Variant> args, script::Variant& result) override {
    std::vector<double> values;
    for (const auto& a : args) values.push_back(a.Number());
    calls.push_back(values);
    result = script::Variant::Dbl(0);
    return 0;
  }
  int32_t CallNumber(int, double arg, double& result) override {
    calls.push_back({arg});
    result = 0;
    return 0;
  }
  std::vector<std::vector<double>> calls;

 private:
  std::vector<Member> members_;
};

// A host object whose method Check(x) fails with `number` where x is below `below`,
// and returns 0 elsewhere.
class FailingBelow : public script::HostObject {
 public:
  FailingBelow(int32_t number, double below) : number_(number), below_(below) {
    members_.push_back({"Check", MemberKind::Method, 1});
  }
  std::span<const Member> Members() const override { return members_; }
  int32_t Call(int index, std::span<const script::Variant> args, script::Variant& result) override {
    double r = 0;
    const int32_t e = CallNumber(index, args[0].Number(), r);
    if (e == 0) result = script::Variant::Dbl(r);
    return e;
  }
  int32_t CallNumber(int, double arg, double& result) override {
    if (arg < below_) return number_;
    result = 0;
    return 0;
  }

 private:
  int32_t number_;
  double below_;
  std::vector<Member> members_;
};

// A function written in C++: exact control over every value the search sees.
class NativeFunction final : public PointFunction {
 public:
  explicit NativeFunction(std::function<double(std::span<const double>)> f) : f_(std::move(f)) {}
  int32_t EvaluateFunction(std::span<const double> x, double& value) override {
    points.emplace_back(x.begin(), x.end());
    value = f_(x);
    return 0;
  }
  std::vector<std::vector<double>> points;  // every point evaluated, in order

 private:
  std::function<double(std::span<const double>)> f_;
};

// Passes evaluations on and counts the failures by error number.
class FailureCounter final : public PointFunction {
 public:
  explicit FailureCounter(PointFunction& inner) : inner_(inner) {}
  int32_t EvaluateFunction(std::span<const double> x, double& value) override {
    const int32_t e = inner_.EvaluateFunction(x, value);
    if (e != 0) failures.push_back(e);
    return e;
  }
  int32_t Count(int32_t number) const {
    int32_t count = 0;
    for (int32_t e : failures) count += e == number;
    return count;
  }
  std::vector<int32_t> failures;

 private:
  PointFunction& inner_;
};

// Hands out the given numbers in turn, again from the first after the last.
class ScriptedRandom final : public RandomSource {
 public:
  explicit ScriptedRandom(std::vector<double> values) : values_(std::move(values)) {}
  void Reseed() override { ++reseeds; }
  double Next() override { return values_[next_++ % values_.size()]; }
  int reseeds = 0;

 private:
  std::vector<double> values_;
  size_t next_ = 0;
};

// A problem of the given names and formula with the interpreter prepared for it: the
// default box (-10 to 10, 4 subintervals), error bound 0.01 and 8 cycles.
struct PreparedProblem {
  Problem problem;
  RecordingSink sink;
  FunctionEvaluator evaluator{sink};
  RecordingHooks hooks;

  PreparedProblem(std::vector<std::string> names, std::string formula) {
    evaluator.Prepare();
    problem = Problem::WithVariables(static_cast<int32_t>(names.size()));
    problem.varNames = std::move(names);
    problem.formula = std::move(formula);
    problem.errorBound = 0.01;
    problem.maxCycles = 8;
    for (int i = 0; i < problem.varCount(); ++i) Box(i, -10, 10, 4);
    evaluator.SetFunction(problem.varNames, problem.formula);
  }
  // Makes a host object reachable from the formula, its members global names; the
  // function is set again, as after any change of the interpreter's names.
  void AddObject(std::string_view name, script::HostObject* object) {
    evaluator.engine().AddObject(name, object, true);
    evaluator.SetFunction(problem.varNames, problem.formula);
  }
  void Box(int i, double lower, double upper, int32_t subintervals) {
    problem.lowerLimit[i] = lower;
    problem.upperLimit[i] = upper;
    problem.subintervals[i] = subintervals;
  }
  RunSummary Explore() { return Search(SearchOptions::Explore()); }
  RunSummary Random(int32_t trials, RandomSource* source = nullptr) {
    return Search(SearchOptions::Random(trials), source);
  }
  // One run with a fresh engine; the lines listed before are forgotten.
  RunSummary Search(const SearchOptions& options, RandomSource* source = nullptr) {
    hooks.lines.clear();
    hooks.met.clear();
    SearchEngine engine(evaluator, hooks, source);
    return ComputeInto(engine, problem, options).summary;
  }
};

}  // namespace testing
}  // namespace quorvant
