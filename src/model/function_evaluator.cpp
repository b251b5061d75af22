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
  engine_.AddObject("sh", &extra_, true);
  engine_.ExecuteStatement("halfpi = Atn(1) * 2");
  engine_.ExecuteStatement("pi = Atn(1) * 4");
  engine_.ExecuteStatement("e = Exp(1)");
  bound_.clear();
  formulaProgram_.reset();
  compiled_.reset();
  compileTried_ = false;
}

std::string ConstantFailureMessage(const ConstantFailure& failure) {
  return "The user constant \"" + Printable(failure.statement) + "\" (number " +
         std::to_string(failure.index + 1) + ") cannot be executed: error " +
         std::to_string(failure.errorNumber) + ", " +
         std::string(script::ErrorDescription(failure.errorNumber)) +
         ". Correct or remove it: the constants after it would be missing.";
}

ConstantFailure FunctionEvaluator::RegisterConstants(std::span<const std::string> statements) {
  for (size_t k = 0; k < statements.size(); ++k)
    if (int32_t e = engine_.ExecuteStatement(statements[k]))
      return {e, static_cast<int32_t>(k), statements[k]};
  return {};
}

void FunctionEvaluator::SetFunction(std::span<const std::string> names, std::string formula) {
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
  compiled_.reset();
  compileTried_ = false;
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
  // The double-only machine directly when it can. Anything else runs the formula
  // again from its start, through the engine: a failure to report on the double-only
  // machine again, a value it handed back on the Variant machine. The run again
  // starts from the error state the first one started from, as the plain path's
  // single run does: an extra function may have recorded an error that the formula
  // reads (ierr) before the call that records it.
  const script::Program& program = *formulaProgram_;
  // The machine code when there is some. It answers only where the double-only
  // machine would answer the same; any other evaluation runs below as it would
  // without it, from the error state it started with (a host method the machine code
  // called is called again there with the same argument).
  if (fastPath_ && compiledOn_) {
    if (!compileTried_) {
      compileTried_ = true;
      if (program.fast) compiled_ = script::CompileFormula(*program.fast);
    }
    if (compiled_) {
      if (compiled_->Run(result) == 0) {
        if (extra_.ierr != 0) return extra_.ierr;
        value = result;
        return 0;
      }
      ++handOvers_;
      extra_.ierr = 0;
    }
  }
  if (fastPath_ && program.fast) {
    const int32_t first = script::RunFast(*program.fast, result);
    if (first != 0) {
      extra_.ierr = 0;
      if (int32_t e = engine_.EvalNumber(program, formula_, result, first != script::kHandBack))
        return e;
    }
  } else if (int32_t e = engine_.EvalNumber(program, formula_, result, fastPath_)) {
    return e;
  }
  if (extra_.ierr != 0) return extra_.ierr;
  value = result;
  return 0;
}

}  // namespace quorvant
