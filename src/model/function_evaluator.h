// Evaluating the user's function at a point: the interpreter prepared with the extra
// math functions and the start-up constants, the user constants, one assignment per
// variable, then the formula. Every coordinate reaches the interpreter as its value
// written with 15 significant digits and read back.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "model/extra_functions.h"
#include "model/message_sink.h"
#include "model/point_function.h"
#include "model/script/jit.h"
#include "model/script/script_engine.h"

namespace quorvant {

inline constexpr std::string_view kScriptErrorTitle = "Error in Script Control";

// The message text of an interpreter failure: source and number, description, and
// where it happened (lines separated by single carriage returns).
std::string ScriptErrorMessage(const script::ScriptError& error);

// The statement that hands `value` to the variable `name`: the name exactly as
// given, "=", and the value in the general number format ("x=1.5", "y=-1E-05").
std::string AssignmentText(std::string_view name, double value);

// The first user constant statement that could not be executed, if any.
struct ConstantFailure {
  int32_t errorNumber = 0;  // 0: every statement ran
  int32_t index = -1;       // 0-based position in the list
  std::string statement;
  explicit operator bool() const { return errorNumber != 0; }
};

// What the user is told when a constant fails: which one, the error, what to do.
std::string ConstantFailureMessage(const ConstantFailure& failure);

// Everything that makes an evaluator what it is: the statements run since Prepare, in
// order, the variable names, the formula and the path. Plain data, so it can be sent to
// another process, which prepares evaluators from it exactly as this process does.
struct EvaluatorRecipe {
  std::vector<std::string> statements;
  std::vector<std::string> names;
  std::string formula;
  bool fastPath = true;
  bool compiledCode = true;
  bool operator==(const EvaluatorRecipe&) const = default;
};

class FunctionEvaluator final : public PointFunction {
 public:
  explicit FunctionEvaluator(MessageSink& messages);
  FunctionEvaluator(const FunctionEvaluator&) = delete;
  FunctionEvaluator& operator=(const FunctionEvaluator&) = delete;

  // Engine preparation: registers the extra functions as "sh" (members global) and
  // sets halfpi, pi and e through statements.
  void Prepare();

  // Executes the user constant statements in order; stops at the first failure, silent
  // or not (the constants after it would be missing), and says which one failed.
  ConstantFailure RegisterConstants(std::span<const std::string> statements);

  // Runs one statement in the interpreter (a removed constant set back to 0, say).
  int32_t Execute(std::string_view statement);

  // Makes evaluators prepared exactly as this one is now (the same statements run since
  // Prepare, the same function), for other threads. The factory holds a copy of what it
  // needs, so it may be called from any thread while this evaluator is in use; its
  // evaluators show no message boxes (the run reports a failure through its own).
  std::function<std::unique_ptr<PointFunction>()> Copies() const;
  // What Copies() prepares its evaluators from.
  EvaluatorRecipe Recipe() const { return {history_, names_, formula_, fastPath_, compiledOn_}; }
  // Prepares this evaluator from `recipe` as Copies() prepares its evaluators (another
  // thread's evaluator of the same function, say): Prepare, the statements, the function.
  void PrepareFrom(const EvaluatorRecipe& recipe);
  // Evaluators prepared from `recipe`, as Copies() makes them (in another process too).
  static std::function<std::unique_ptr<PointFunction>()> CopiesOf(EvaluatorRecipe recipe);

  // The function to evaluate from now on: the variable names, in coordinate order, and
  // the formula. The names are bound to the interpreter's variables here; the formula
  // is compiled at its first evaluation (so a syntax error is reported as a failure of
  // that evaluation, like any other). Call again whenever the names or the formula
  // change.
  void SetFunction(std::span<const std::string> names, std::string formula);

  // One assignment "name=value" per variable, the value written with 15 significant
  // digits. A coordinate that is not finite, or whose 15-digit text lies beyond the
  // double range (the largest doubles round up to 1.79769313486232E+308), cannot be
  // handed over as a number: it fails with Overflow (6) on both paths, before any
  // statement is run for it.
  int32_t AssignVariables(std::span<const double> x);

  // The function value at `x`. Returns 0, or the error number of the failing step (the
  // assignment, the formula, the conversion of its value to Double, or a failure an
  // extra function recorded).
  int32_t EvaluateFunction(std::span<const double> x, double& value) override;
  // The same, with the coordinates' 15-digit values known: they are taken as the
  // rounding of the coordinates that changed, so nothing is rounded here.
  int32_t EvaluateRounded(std::span<const double> x, std::span<const double> rounded,
                          double& value) override;

  // The number of the last error met while evaluating (0 after a success is not
  // promised: it is the last failure's number, as the interpreter's error event left it).
  int32_t ierr() const { return ierr_; }

  // Off: every assignment goes through statement text and every formula through
  // the Variant machine. Results are identical either way; this exists for tests
  // and benchmarks.
  void SetFastPath(bool on) {
    fastPath_ = on;
    UpdateDirectPath();
  }

  // Off: the formula is not compiled to machine code (script/jit.h) and runs on the
  // interpreter's fast path. Results are identical either way; this exists for tests
  // and benchmarks. On by default; the plain path (SetFastPath(false)) never runs
  // machine code.
  void SetCompiledCode(bool on) {
    compiledOn_ = on;
    UpdateDirectPath();
  }
  // Whether the current formula runs as machine code; known from its first
  // evaluation on the fast path with compiled code on.
  bool RunsCompiledCode() const { return compiled_ != nullptr; }
  // How many evaluations the machine code left to the interpreter (an error, a -0 the
  // subtypes decide, a variable that is not a number).
  uint64_t CompiledHandOvers() const { return handOvers_; }
  // Whether the machine code reads the rounded coordinates itself, the variables
  // being assigned only when something else reads them: every variable takes a
  // number without conversion and the formula calls no host method.
  bool CompiledCodeReadsCoordinates() const { return directCoordinates_; }

  // The interpreter and the extra functions, with every variable holding its last
  // coordinate.
  script::ScriptEngine& engine() {
    SyncVariables();
    return engine_;
  }
  ExtraFunctions& extraFunctions() {
    SyncVariables();
    return extra_;
  }

 private:
  void OnScriptError(const script::ScriptError& error);
  void CompileMachineCode(const script::Program& program);
  bool RoundCoordinates(std::span<const double> x);
  void FreshenLast();
  int32_t EvaluateAssigned(std::span<const double> x, double& value);
  int32_t RunDirect(double& value);
  int32_t HandOver(double& value);
  int32_t RunInterpreter(const script::Program& program, double& value);
  // The machine code may read the coordinates straight from rounded_; the variables
  // are then assigned only when something else is about to read them.
  void SyncVariables() {
    if (variablesBehind_) AssignRoundedCoordinates();
  }
  void AssignRoundedCoordinates();
  void UpdateDirectPath() { directPath_ = fastPath_ && compiledOn_ && directCoordinates_; }

  MessageSink& messages_;
  int32_t ierr_ = 0;
  // The statements run since Prepare, in order, to prepare copies the same way. A list
  // of constants registered again unchanged (as before every run) is kept once.
  std::vector<std::string> history_;
  std::vector<std::string> lastRegistered_;
  bool registeredLast_ = false;
  std::vector<std::string> names_;
  ExtraFunctions extra_;
  script::ScriptEngine engine_;
  bool fastPath_ = true;

  // Per variable: its name, its slot handle (-1: only statement text will do) and
  // where a number assigned to it goes.
  struct BoundVariable {
    std::string name;
    int32_t slot = -1;
    script::ScriptEngine::NumberTarget target;
    bool direct() const { return target.member || target.variable; }
  };
  std::vector<BoundVariable> bound_;
  // Per variable, the last coordinate with its rounded value (a coordinate that did
  // not change is not rounded again).
  struct LastCoordinate {
    double raw;
    double rounded;
  };
  std::vector<LastCoordinate> last_;
  bool lastStale_ = false;  // rounded_ was given since last_ was kept (FreshenLast)
  std::string formula_;
  std::shared_ptr<const script::Program> formulaProgram_;  // null until first compiled
  // The formula as machine code: compiled at its first evaluation that may use it,
  // null where it cannot be (no back end, or the formula needs the Variant machine).
  bool compiledOn_ = true;
  bool compileTried_ = false;
  std::unique_ptr<const script::CompiledFormula> compiled_;
  // The values the machine code keeps between this evaluator's evaluations: memo_
  // points into memoStorage_ at a cache line of its own (it is written at every
  // evaluation, and another thread's evaluator may have been allocated next to it).
  std::vector<double> memoStorage_;
  double* memo_ = nullptr;
  uint64_t handOvers_ = 0;
  // Per coordinate, its 15-digit value with -0 made 0 (the number the interpreter
  // reads from the variable), kept with last_ while that is finite. With
  // directCoordinates_ the machine code reads its variables here; variablesBehind_
  // says the variables themselves have not been assigned these values yet.
  std::vector<double> rounded_;
  bool directCoordinates_ = false;
  bool directPath_ = false;  // directCoordinates_ on the fast path with compiled code on
  bool variablesBehind_ = false;
};

}  // namespace quorvant
