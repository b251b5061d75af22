// A problem ready to search, with hooks that record what the run lists.
#pragma once

#include <string>
#include <vector>

#include "engine/search_engine.h"
#include "model/dimension.h"
#include "model/function_evaluator.h"
#include "model/script/host_object.h"

namespace quorvant::testing {

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
  std::vector<std::string> lines;
  bool info = false;
  int yields = 0;
  long polls = 0;
  long stopAfterPolls = 1L << 62;
};

// A host object "rec" whose method Note(x, y, ...) records its arguments and returns
// 0, so a formula can show where it was evaluated.
class Recorder : public script::HostObject {
 public:
  explicit Recorder(int arity) {
    members_.push_back({"Note", MemberKind::Method, arity});
  }
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

struct Problem {
  Dimension dim;
  RecordingSink sink;
  FunctionEvaluator evaluator{dim, sink};
  RecordingHooks hooks;

  // n variables with the given names, the default box (-10 to 10, 4 subintervals),
  // error bound 0.01 and 8 cycles.
  Problem(std::vector<std::string> names, std::string formula) {
    evaluator.Prepare();
    dim.Resize(static_cast<int32_t>(names.size()));
    dim.varNames = std::move(names);
    dim.formula = std::move(formula);
    dim.errorBound = 0.01;
    dim.maxCycles = 8;
    for (int i = 0; i < dim.varCount; ++i) Box(i, -10, 10, 4);
  }
  void Box(int i, double lower, double upper, int32_t subintervals) {
    dim.lowerLimit[i] = lower;
    dim.upperLimit[i] = upper;
    dim.subintervals[i] = subintervals;
  }
  RunSummary Explore() {
    dim.maxCount = dim.minCount = 0;
    hooks.lines.clear();
    SearchEngine engine(dim, evaluator, hooks);
    return engine.Compute();
  }
  RunSummary Random(int32_t trials, RandomSource* source = nullptr) {
    dim.maxCount = dim.minCount = 0;
    hooks.lines.clear();
    dim.randomTrials = trials;
    dim.randomMode = true;
    SearchEngine engine(dim, evaluator, hooks, source);
    return engine.Compute();
  }
};

}  // namespace quorvant::testing
