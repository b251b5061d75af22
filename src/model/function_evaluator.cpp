#include "model/function_evaluator.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "model/numtext.h"
#include "model/script/fast_vm.h"
#include "model/text_safety.h"

namespace quorvant {

std::string ScriptErrorMessage(const script::ScriptError& error) {
  std::string text = error.source;
  text += ' ';
  text += std::to_string(error.number);
  text += '\r';
  text += error.description;
  text += "\r\rAt line ";
  text += std::to_string(error.line);
  text += ", col ";
  text += std::to_string(error.column);
  text += ": [";
  text += error.text;
  text += ']';
  return text;
}

std::string AssignmentText(std::string_view name, double value) {
  std::string lineText(name);
  lineText += '=';
  AppendGeneral(lineText, value);
  return lineText;
}

FunctionEvaluator::FunctionEvaluator(MessageSink& messages) : messages_(messages), extra_(&ierr_) {
  engine_.SetErrorCallback([this](const script::ScriptError& error) { OnScriptError(error); });
}

void FunctionEvaluator::OnScriptError(const script::ScriptError& error) {
  ierr_ = error.number;
  if (script::IsNumericFault(error.number)) return;
  messages_.ShowMessage(kScriptErrorTitle, ScriptErrorMessage(error), MessageIcon::Critical);
}

void FunctionEvaluator::Prepare() {
  history_.clear();
  registeredLast_ = false;
  engine_.AddObject("sh", &extra_, true);
  engine_.ExecuteStatement("halfpi = Atn(1) * 2");
  engine_.ExecuteStatement("pi = Atn(1) * 4");
  engine_.ExecuteStatement("e = Exp(1)");
  bound_.clear();
  formulaProgram_.reset();
}

std::string ConstantFailureMessage(const ConstantFailure& failure) {
  return "The user constant \"" + Printable(failure.statement) + "\" (number " +
         std::to_string(failure.index + 1) + ") cannot be executed: error " +
         std::to_string(failure.errorNumber) + ", " +
         std::string(script::ErrorDescription(failure.errorNumber)) +
         ". Correct or remove it: the constants after it would be missing.";
}

ConstantFailure FunctionEvaluator::RegisterConstants(std::span<const std::string> statements) {
  const bool again = registeredLast_ && std::equal(statements.begin(), statements.end(),
                                                   lastRegistered_.begin(), lastRegistered_.end());
  if (!again) {
    history_.insert(history_.end(), statements.begin(), statements.end());
    lastRegistered_.assign(statements.begin(), statements.end());
    registeredLast_ = true;
  }
  for (size_t k = 0; k < statements.size(); ++k)
    if (int32_t e = engine_.ExecuteStatement(statements[k]))
      return {e, static_cast<int32_t>(k), statements[k]};
  return {};
}

int32_t FunctionEvaluator::Execute(std::string_view statement) {
  history_.emplace_back(statement);
  registeredLast_ = false;
  return engine_.ExecuteStatement(statement);
}

namespace {

class QuietSink final : public MessageSink {
 public:
  void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
};

// An evaluator for another thread, with a sink of its own that shows nothing.
class QuietEvaluator final : public PointFunction {
 public:
  QuietEvaluator() : evaluator(sink) {}
  int32_t EvaluateFunction(std::span<const double> x, double& value) override {
    return evaluator.EvaluateFunction(x, value);
  }
  QuietSink sink;
  FunctionEvaluator evaluator;
};

}  // namespace

std::function<std::unique_ptr<PointFunction>()> FunctionEvaluator::Copies() const {
  return CopiesOf(Recipe());
}

std::function<std::unique_ptr<PointFunction>()> FunctionEvaluator::CopiesOf(
    EvaluatorRecipe recipe) {
  return [recipe = std::move(recipe)] {
    auto copy = std::make_unique<QuietEvaluator>();
    copy->evaluator.Prepare();
    for (const std::string& statement : recipe.statements)
      copy->evaluator.engine_.ExecuteStatement(statement);
    copy->evaluator.SetFunction(recipe.names, recipe.formula);
    copy->evaluator.SetFastPath(recipe.fastPath);
    return std::unique_ptr<PointFunction>(std::move(copy));
  };
}

void FunctionEvaluator::SetFunction(std::span<const std::string> names, std::string formula) {
  names_.assign(names.begin(), names.end());
  bound_.assign(names.size(), BoundVariable{});
  for (size_t i = 0; i < names.size(); ++i) {
    BoundVariable& v = bound_[i];
    v.name = names[i];
    v.slot = engine_.AssignableSlot(v.name);
    if (v.slot >= 0) v.target = engine_.NumberTargetFor(v.slot);
    // Matches no finite coordinate; a NaN coordinate with these very bits finds its
    // rounded value NaN too, and fails as every non-finite one does.
    v.lastRaw = v.lastRounded = std::nan("");
  }
  formula_ = std::move(formula);
  formulaProgram_.reset();
}

int32_t FunctionEvaluator::AssignVariables(std::span<const double> x) {
  const size_t n = std::min(x.size(), bound_.size());
  if (!fastPath_) {
    for (size_t assignIndex = 0; assignIndex < n; ++assignIndex) {
      const double value = x[assignIndex];
      if (!std::isfinite(Round15(value))) return ierr_ = script::kOverflow;
      if (int32_t e = engine_.ExecuteStatement(AssignmentText(bound_[assignIndex].name, value)))
        return e;
    }
    return 0;
  }
  BoundVariable* bound = bound_.data();
  for (size_t assignIndex = 0; assignIndex < n; ++assignIndex) {
    const double value = x[assignIndex];
    BoundVariable& v = bound[assignIndex];
    if (std::bit_cast<uint64_t>(value) != std::bit_cast<uint64_t>(v.lastRaw)) {
      v.lastRaw = value;
      v.lastRounded = Round15(value);
    }
    if (!std::isfinite(v.lastRounded)) return ierr_ = script::kOverflow;
    if (v.direct()) {
      script::ScriptEngine::AssignNumberTo(v.target, v.lastRounded);
      continue;
    }
    const int32_t e = v.slot >= 0 ? engine_.AssignNumber(v.slot, v.name, v.lastRounded)
                                  : engine_.ExecuteStatement(AssignmentText(v.name, value));
    if (e) return e;
  }
  return 0;
}

int32_t FunctionEvaluator::EvaluateFunction(std::span<const double> x, double& value) {
  if (int32_t e = AssignVariables(x)) return e;
  extra_.ierr = 0;
  double result;
  if (!formulaProgram_) {
    formulaProgram_ = engine_.CompileExpression(formula_);
    if (!formulaProgram_) return engine_.Error().number;
  }
  // The double-only machine directly when it can; anything else (a failure to
  // report, a value it hands back) goes through the engine.
  const script::Program& program = *formulaProgram_;
  if (!(fastPath_ && program.fast && script::RunFast(*program.fast, result) == 0)) {
    if (int32_t e = engine_.EvalNumber(program, formula_, result, fastPath_)) return e;
  }
  if (extra_.ierr != 0) return extra_.ierr;
  value = result;
  return 0;
}

}  // namespace quorvant
