#include "model/script/vm.h"

#include <cctype>

#include "model/numtext.h"
#include "model/script/builtins.h"
#include "model/script/operators.h"
#include "model/script/script_error.h"
#include "model/script/text_util.h"

namespace quorvant::script {

namespace {

int FindMember(HostObject& object, std::string_view name) {
  const auto members = object.Members();
  for (size_t k = 0; k < members.size(); ++k)
    if (EqualsNoCase(members[k].name, name)) return static_cast<int>(k);
  return -1;
}

int32_t ReadProperty(const HostObject::Member& m, Variant& out) {
  if (m.kind == HostObject::MemberKind::DoubleProperty)
    out = Variant::Dbl(*m.doubleValue);
  else
    out = Variant::Long(*m.longValue);
  return 0;
}

// Typed host storage takes a Double, or a whole number in the Long range (rounded
// half to even); anything that is not a number is a type mismatch.
int32_t WriteProperty(HostObject::MemberKind kind, double* d, int32_t* l, const Variant& value) {
  double x;
  if (int32_t e = ToDouble(value, x)) return e;
  if (kind == HostObject::MemberKind::DoubleProperty) {
    *d = x;
    return 0;
  }
  int32_t whole;
  if (int32_t e = ToLong(value, whole)) return e;
  *l = whole;
  return 0;
}

}  // namespace

int32_t LoadSlot(Slot& slot, Variant& out, std::string& failedName) {
  switch (slot.kind) {
    case Slot::Kind::Variable:
      out = slot.value;
      return 0;
    case Slot::Kind::HostDouble:
      out = Variant::Dbl(*slot.doubleValue);
      return 0;
    case Slot::Kind::HostLong:
      out = Variant::Long(*slot.longValue);
      return 0;
    case Slot::Kind::HostObjectName:
      out = Variant::Obj(slot.object);
      return 0;
    case Slot::Kind::HostMethod:
      if (slot.arity != 0) {
        failedName = slot.name;
        return kWrongArgCount;
      }
      return slot.object->Call(slot.member, {}, out);
  }
  return kTypeMismatch;
}

int32_t StoreSlot(Slot& slot, const Variant& value, std::string& failedName) {
  switch (slot.kind) {
    case Slot::Kind::Variable:
      slot.value = value;
      return 0;
    case Slot::Kind::HostDouble:
      return WriteProperty(HostObject::MemberKind::DoubleProperty, slot.doubleValue, nullptr,
                           value);
    case Slot::Kind::HostLong:
      return WriteProperty(HostObject::MemberKind::LongProperty, nullptr, slot.longValue, value);
    default:
      failedName = slot.name;
      return kIllegalAssignment;
  }
}

int32_t Vm::Member(const Program& program, const Instr& in, Variant* args, int argc, Variant& out,
                   std::string& failedName) {
  const Variant& object = args[-1];
  const std::string& name = program.names[in.a];
  if (object.type != VType::Object || object.obj == nullptr) return kObjectRequired;
  const int index = FindMember(*object.obj, name);
  if (index < 0) {
    failedName = name;
    return kNoSuchMember;
  }
  const HostObject::Member& m = object.obj->Members()[index];
  if (m.kind == HostObject::MemberKind::Method) {
    if (argc != m.arity) {
      failedName = name;
      return kWrongArgCount;
    }
    return object.obj->Call(index, std::span<const Variant>(args, argc), out);
  }
  if (argc != 0) {
    failedName = name;
    return kWrongArgCount;
  }
  return ReadProperty(m, out);
}

int32_t Vm::Run(const Program& program, Variant* result, RunFailure& failure) {
  // A run nested inside a host call gets a stack of its own.
  if (depth_ >= 32) {
    failure.number = 28;
    return kOutOfStack;
  }
  std::vector<Variant> local;
  std::vector<Variant>& stack = depth_ == 0 ? stack_ : local;
  ++depth_;
  if (stack.size() < static_cast<size_t>(program.maxStack) + 1) stack.resize(program.maxStack + 1);
  Variant* sp = stack.data();  // next free entry
  int32_t statement = 0;
  int32_t error = 0;
  std::string failedName;

  for (const Instr* pc = program.code.data();; ++pc) {
    const Instr& in = *pc;
    switch (in.op) {
      case Op::PushConst:
        *sp++ = program.constants[in.a];
        break;
      case Op::Load:
        error = LoadSlot(slots_[in.a], *sp, failedName);
        ++sp;
        break;
      case Op::Store:
        --sp;
        error = StoreSlot(slots_[in.a], *sp, failedName);
        break;
      case Op::LoadMember: {
        Variant out;
        error = Member(program, in, sp, 0, out, failedName);
        sp[-1] = std::move(out);
        break;
      }
      case Op::StoreMember: {
        sp -= 2;
        const Variant& object = sp[0];
        const Variant& value = sp[1];
        if (object.type != VType::Object || object.obj == nullptr) {
          error = kObjectRequired;
          break;
        }
        const int index = FindMember(*object.obj, program.names[in.a]);
        if (index < 0) {
          failedName = program.names[in.a];
          error = kNoSuchMember;
          break;
        }
        const HostObject::Member& m = object.obj->Members()[index];
        if (m.kind == HostObject::MemberKind::Method) {
          failedName = program.names[in.a];
          error = kWrongArgCount;
          break;
        }
        error = WriteProperty(m.kind, m.doubleValue, m.longValue, value);
        break;
      }
      case Op::CallBuiltin: {
        const Builtin& fn = BuiltinAt(in.a);
        Variant* args = sp - in.argc;
        if (in.argc < fn.minArgs || in.argc > fn.maxArgs) {
          failedName = std::string(fn.name);
          error = kWrongArgCount;
          break;
        }
        Variant out;
        error = fn.call(std::span<const Variant>(args, in.argc), out);
        sp = args;
        *sp++ = std::move(out);
        break;
      }
      case Op::CallSlot: {
        Slot& slot = slots_[in.a];
        Variant* args = sp - in.argc;
        Variant out;
        if (slot.kind != Slot::Kind::HostMethod) {
          // Only host methods can be called: anything else named with arguments, or
          // a name that is no function at all, is a type mismatch.
          failedName = program.names[in.b];
          error = kTypeMismatch;
        } else if (slot.arity != in.argc) {
          failedName = slot.name;
          error = kWrongArgCount;
        } else {
          error = slot.object->Call(slot.member, std::span<const Variant>(args, in.argc), out);
        }
        sp = args;
        *sp++ = std::move(out);
        break;
      }
      case Op::CallMember: {
        Variant* args = sp - in.argc;
        Variant out;
        error = Member(program, in, args, in.argc, out, failedName);
        sp = args - 1;
        *sp++ = std::move(out);
        break;
      }
      case Op::Raise:
        error = in.a;
        if (in.b >= 0) failedName = program.names[in.b];
        break;
      case Op::Pop:
        --sp;
        break;
      case Op::Statement:
        statement = in.a;
        break;
      case Op::Return:
        if (program.isExpression && result) *result = std::move(sp[-1]);
        --depth_;
        return 0;
      case Op::Neg:
      case Op::Pos:
      case Op::Not: {
        Variant out;
        error = UnaryOp(in.op, sp[-1], out);
        sp[-1] = std::move(out);
        break;
      }
      default: {  // binary operators
        Variant out;
        error = BinaryOp(in.op, sp[-2], sp[-1], out, in.argc);
        --sp;
        sp[-1] = std::move(out);
        break;
      }
    }
    if (error) break;
  }
  failure.number = error;
  failure.name = std::move(failedName);
  failure.statement = statement;
  --depth_;
  return error;
}

}  // namespace quorvant::script
