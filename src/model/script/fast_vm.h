// The double-only machine. Formulas that only ever see numbers (by far the common
// case) run here: no Variants, operands fused into instructions, x^2 and x^3 without
// pow where that gives pow's own result. It must give exactly what the Variant
// machine gives; where that cannot be known without subtypes it hands the evaluation
// back (kHandBack) and the Variant machine runs it from the start.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "model/script/bytecode.h"
#include "model/script/vm.h"

namespace quorvant::script {

enum class FOp : uint8_t {
  PushK,
  PushVar,
  PushHostD,
  PushHostL,
  Neg,
  Add,
  Sub,
  Mul,
  Div,
  Pow,
  Square,
  Cube,
  AddK,
  SubK,
  MulK,
  DivK,
  PowK,
  AddVar,
  SubVar,
  MulVar,
  DivVar,
  AddHostD,
  SubHostD,
  MulHostD,
  DivHostD,
  Eq,
  Ne,
  Lt,
  Gt,
  Le,
  Ge,
  Call1,
  CallHost,
  // the commonest built-ins, inline
  Sin,
  Cos,
  Tan,
  Atn,
  Exp,
  Log,
  Sqr,
  Abs,
  Return,
};

// Whether `op` reads its constant operand (`k`): PushK and the operations with a constant.
constexpr bool ReadsConstant(FOp op) {
  return op == FOp::PushK || (op >= FOp::AddK && op <= FOp::PowK);
}
// Whether `op` reads a variable's slot (`p`): PushVar and the operations with a variable.
constexpr bool ReadsVariable(FOp op) {
  return op == FOp::PushVar || (op >= FOp::AddVar && op <= FOp::DivVar);
}

struct FInstr {
  FOp op;
  int32_t a = 0;                // host member index
  double k = 0;                 // constant operand
  const void* p = nullptr;      // Slot*, double*, int32_t*, NumberKernel, HostObject*
  VType kType = VType::Double;  // the constant operand's subtype
};

struct FastProgram {
  std::vector<FInstr> code;
  int maxStack = 0;
};

inline constexpr int32_t kHandBack = -1;
inline constexpr int kFastStackLimit = 256;

// The double-only form of `program`, or null when some instruction needs Variants.
// Slots are read for their kinds, which never change once code is compiled.
std::shared_ptr<const FastProgram> BuildFastProgram(const Program& program,
                                                    const std::deque<Slot>& globals);

// Runs the double-only form. Returns 0, the language's error number, or kHandBack
// when the Variant machine must decide (a variable that is not a number, or a -0
// from a negation or a product, whose sign depends on subtypes).
int32_t RunFast(const FastProgram& program, double& result);

// One line per instruction, for tests.
std::string DisassembleFast(const FastProgram& program);

}  // namespace quorvant::script
