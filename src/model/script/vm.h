// The global namespace's storage and the stack machine that runs compiled code
// over Variants.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "model/script/bytecode.h"
#include "model/script/host_object.h"
#include "model/script/variant.h"

namespace quorvant::script {

// One global name. A plain variable holds a Variant; a host member stands for a
// property or method of a host object; a host object's own name stands for the
// object.
struct Slot {
  enum class Kind : uint8_t { Variable, HostDouble, HostLong, HostMethod, HostObjectName };
  Kind kind = Kind::Variable;
  Variant value;                 // Variable
  HostObject* object = nullptr;  // host kinds
  int member = -1;
  int arity = 0;
  double* doubleValue = nullptr;
  int32_t* longValue = nullptr;
  std::string name;  // as first written
};

// What went wrong while running: the number, a name for the description (the
// function or variable concerned, or empty), and the statement it happened in.
struct RunFailure {
  int32_t number = 0;
  std::string name;
  int32_t statement = 0;
};

// Reads a slot's value (a host method is called with no arguments).
int32_t LoadSlot(Slot& slot, Variant& out, std::string& failedName);
// Assigns to a slot with the coercion its kind needs; a failed assignment leaves the
// slot unchanged.
int32_t StoreSlot(Slot& slot, const Variant& value, std::string& failedName);

class Vm {
 public:
  explicit Vm(std::deque<Slot>& globals) : slots_(globals) {}
  // Runs `program`; for an expression the value is left in `result`.
  int32_t Run(const Program& program, Variant* result, RunFailure& failure);

 private:
  int32_t Member(const Program& program, const Instr& in, Variant* top, int argc, Variant& out,
                 std::string& failedName);
  std::deque<Slot>& slots_;
  std::vector<Variant> stack_;
  int depth_ = 0;  // nesting of Run through host calls
};

}  // namespace quorvant::script
