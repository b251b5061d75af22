// The formula interpreter as the host program uses it: host objects, statements,
// expressions, the error object and a synchronous error callback.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "model/script/bytecode.h"
#include "model/script/compiler.h"
#include "model/script/host_object.h"
#include "model/script/script_error.h"
#include "model/script/variant.h"
#include "model/script/vm.h"

namespace quorvant::script {

class ScriptEngine : private Namespace {
 public:
  using ErrorCallback = std::function<void(const ScriptError&)>;

  ScriptEngine();
  ~ScriptEngine() override;
  ScriptEngine(const ScriptEngine&) = delete;
  ScriptEngine& operator=(const ScriptEngine&) = delete;

  // Called inside a failing call, after Error() is filled and before the call
  // returns the error number.
  void SetErrorCallback(ErrorCallback callback) { onError_ = std::move(callback); }

  // Makes `object` reachable as `name`; with `addMembers` every member of the object
  // also becomes a global name (assigning to it sets the member).
  void AddObject(std::string_view name, HostObject* object, bool addMembers);

  // Runs statements (assignments "name = expression", calls), separated by ":" or
  // line breaks. Returns 0 or the error number.
  int32_t ExecuteStatement(std::string_view text);
  // Evaluates an expression ("a = b" compares). Returns 0 or the error number.
  int32_t Eval(std::string_view text, Variant& result);
  // Eval, converted to Double by the language's rules (Empty 0, True -1, a numeric
  // text its number, Null error 94, anything else 13). Runs the double-only machine
  // when the expression allows it; `allowFast` false forces the Variant machine.
  int32_t EvalNumber(std::string_view text, double& result, bool allowFast = true);

  // For an expression evaluated very often: compile once (null after reporting a
  // compile error), then evaluate the compiled form; the caller holds it, so it
  // outlives the cache. `text` is the source, for error reports.
  std::shared_ptr<const Program> CompileExpression(std::string_view text);
  int32_t EvalNumber(const Program& program, std::string_view text, double& result,
                     bool allowFast = true);

  // The error object of the last failure.
  const ScriptError& Error() const { return error_; }

  // --- assigning numbers without text ---------------------------------------------
  // A handle for "name = number" statements, or -1 when `name` (exactly as it would
  // be written before "=") is not a plain assignable name; then the statement text
  // must be used.
  int32_t AssignableSlot(std::string_view name);
  // Does what ExecuteStatement(name + "=" + FormatGeneral(value)) does for a value
  // that is already rounded to 15 significant digits: the value gets the subtype its
  // text would give as a literal (a whole number an Integer or Long, else a Double).
  int32_t AssignNumber(int32_t slot, std::string_view name, double value);

  // Where a number assigned to `slot` goes when that needs no conversion: a Double
  // member's storage or a plain variable. AssignNumberTo is AssignNumber for such a
  // target, inline.
  struct NumberTarget {
    double* member = nullptr;
    Variant* variable = nullptr;
  };
  NumberTarget NumberTargetFor(int32_t slot);
  static void AssignNumberTo(const NumberTarget& target, double value) {
    if (target.member) {
      *target.member = value + 0.0;  // +0.0 turns -0 into 0, as its text "0" reads
      return;
    }
    // The subtype the literal text of `value` would have: whole numbers within the
    // Long range are written without exponent and read as Integer or Long where they
    // fit (-32768 is the negation of the Long 32768, so it stays a Long).
    Variant& v = *target.variable;
    if (v.type == VType::String) v.s.clear();
    const double magnitude = value < 0 ? -value : value;
    if (magnitude <= 2147483647.0 && static_cast<double>(static_cast<int32_t>(value)) == value) {
      if (magnitude <= 32767.0) {
        v.type = VType::Integer;
        v.i = static_cast<int16_t>(value);
      } else {
        v.type = VType::Long;
        v.l = static_cast<int32_t>(value);
      }
    } else {
      v.type = VType::Double;
      v.d = value;
    }
  }

  // The compiled code of an expression, one instruction a line: the Variant form,
  // a line "--", then the double-only form (or "none"). For tests and debugging.
  std::string Disassembly(std::string_view expression);

  // The global name behind a slot number that compiled code refers to.
  const Slot& GlobalSlot(int32_t slot) const { return slots_[static_cast<size_t>(slot)]; }

  // Number of compiled texts held (for tests of the cache bound).
  size_t CachedPrograms() const { return cache_.size(); }

 private:
  int32_t SlotFor(std::string_view name) override;
  // The compiled form of `text`, or null after reporting a compile error. The cache
  // owns it; the pointer stays valid until the next call of Get.
  const Program* Get(std::string_view text, bool expression);
  int32_t Fail(int32_t number, std::string_view text, bool compile, int32_t line, int32_t column,
               const std::string& name);
  int32_t FailRun(const Program& program, std::string_view text, const RunFailure& failure);
  int32_t FailCompile(std::string_view text, int32_t number, uint32_t offset);
  static std::string Key(std::string_view name);

  std::deque<Slot> slots_;
  std::unordered_map<std::string, int32_t> slotIndex_;  // lower-case name -> slot
  std::unordered_map<std::string, std::shared_ptr<const Program>> cache_;
  Vm vm_;
  ScriptError error_;
  ErrorCallback onError_;
  // The last expression evaluated, so a formula evaluated again and again is found
  // without hashing it.
  std::string lastText_;
  const Program* lastProgram_ = nullptr;
};

}  // namespace quorvant::script
