#include "model/script/bytecode.h"

namespace quorvant::script {

const char* OpName(Op op) {
  switch (op) {
    case Op::PushConst:
      return "PushConst";
    case Op::Load:
      return "Load";
    case Op::Store:
      return "Store";
    case Op::LoadMember:
      return "LoadMember";
    case Op::StoreMember:
      return "StoreMember";
    case Op::CallBuiltin:
      return "CallBuiltin";
    case Op::CallSlot:
      return "CallSlot";
    case Op::CallMember:
      return "CallMember";
    case Op::Raise:
      return "Raise";
    case Op::Pop:
      return "Pop";
    case Op::Statement:
      return "Statement";
    case Op::Return:
      return "Return";
    case Op::Neg:
      return "Neg";
    case Op::Pos:
      return "Pos";
    case Op::Pow:
      return "Pow";
    case Op::Mul:
      return "Mul";
    case Op::Div:
      return "Div";
    case Op::IntDiv:
      return "IntDiv";
    case Op::Mod:
      return "Mod";
    case Op::Add:
      return "Add";
    case Op::Sub:
      return "Sub";
    case Op::Concat:
      return "Concat";
    case Op::Eq:
      return "Eq";
    case Op::Ne:
      return "Ne";
    case Op::Lt:
      return "Lt";
    case Op::Gt:
      return "Gt";
    case Op::Le:
      return "Le";
    case Op::Ge:
      return "Ge";
    case Op::Is:
      return "Is";
    case Op::Not:
      return "Not";
    case Op::And:
      return "And";
    case Op::Or:
      return "Or";
    case Op::Xor:
      return "Xor";
    case Op::Eqv:
      return "Eqv";
    case Op::Imp:
      return "Imp";
  }
  return "?";
}

std::string Disassemble(const Program& program) {
  std::string out;
  for (const Instr& in : program.code) {
    out += OpName(in.op);
    switch (in.op) {
      case Op::PushConst:
        out += ' ';
        out += DisplayText(program.constants[in.a]);
        break;
      case Op::Load:
      case Op::Store:
      case Op::Statement:
        out += ' ' + std::to_string(in.a);
        break;
      case Op::LoadMember:
      case Op::StoreMember:
        out += ' ' + program.names[in.a];
        break;
      case Op::CallBuiltin:
      case Op::CallSlot:
        out += ' ' + std::to_string(in.a) + '/' + std::to_string(in.argc);
        break;
      case Op::CallMember:
        out += ' ' + program.names[in.a] + '/' + std::to_string(in.argc);
        break;
      case Op::Raise:
        out += ' ' + std::to_string(in.a);
        break;
      case Op::Eq:
      case Op::Ne:
      case Op::Lt:
      case Op::Gt:
      case Op::Le:
      case Op::Ge:
        // Which operands were literals (1 the left, 2 the right, 3 both).
        if (in.argc != 0) out += " literal " + std::to_string(in.argc);
        break;
      default:
        break;
    }
    out += '\n';
  }
  return out;
}

}  // namespace quorvant::script
