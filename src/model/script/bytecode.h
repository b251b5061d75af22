// Compiled form of a statement text or an expression text: flat code for a stack
// machine over Variants, a constant pool, and the names the code refers to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/script/variant.h"

namespace quorvant::script {

enum class Op : uint8_t {
  PushConst,    // a = constant index
  Load,         // a = global slot
  Store,        // a = global slot; pops the value
  LoadMember,   // a = name index; pops the object, pushes the member's value
  StoreMember,  // a = name index; pops the value, then the object
  CallBuiltin,  // a = builtin id, argc arguments on the stack
  CallSlot,     // a = global slot (a host method), argc arguments
  CallMember,   // a = name index; the object lies below the argc arguments
  Raise,        // a = error number, b = name index (or -1) for the description
  Pop,
  Statement,  // a = statement index: the following code belongs to that statement
  Return,     // ends the code; an expression leaves its value on the stack
  // operators, in the order of their precedence levels
  Neg,
  Pos,
  Pow,
  Mul,
  Div,
  IntDiv,
  Mod,
  Add,
  Sub,
  Concat,
  Eq,
  Ne,
  Lt,
  Gt,
  Le,
  Ge,
  Is,
  Not,
  And,
  Or,
  Xor,
  Eqv,
  Imp,
};

struct Instr {
  Op op;
  uint8_t argc = 0;
  int32_t a = 0;
  int32_t b = -1;
};

// Where each statement starts, for run-time error positions.
struct StatementInfo {
  int32_t line = 1;
  int32_t column = 0;
};

struct FastProgram;  // the double-only form, when the code allows one (fast_vm.h)

struct Program {
  std::vector<Instr> code;
  std::vector<Variant> constants;
  std::vector<std::string> names;  // member names and names used in descriptions
  std::vector<StatementInfo> statements;
  std::vector<int32_t> slotsRead;  // global slots the code loads (each once)
  int maxStack = 0;
  bool isExpression = false;
  std::shared_ptr<const FastProgram> fast;  // null when the code needs Variants
};

// One line per instruction, for tests and debugging.
std::string Disassemble(const Program& program);
const char* OpName(Op op);

}  // namespace quorvant::script
