#include "model/script/compiler.h"

#include <algorithm>

#include "model/script/builtins.h"
#include "model/script/lexer.h"
#include "model/script/operators.h"
#include "model/script/script_error.h"

namespace quorvant::script {

namespace {

// Thrown inside the compiler only, caught in Compile: the first error ends it.
struct CompileFailure {
  int32_t number;
  uint32_t offset;
};

class Compiler {
 public:
  Compiler(std::string_view source, Namespace& names)
      : src_(source), lexer_(source), names_(names), program_(std::make_shared<Program>()) {
    Advance();
  }

  std::shared_ptr<Program> CompileExpression() {
    program_->isExpression = true;
    // Line breaks before and after the expression are blank lines; a second
    // expression, or a ":", is not allowed.
    SkipLineBreaks();
    BeginStatement(tok_.offset);
    if (tok_.kind == Tok::End) {
      Emit(Op::PushConst, Constant(Variant()));  // an empty text evaluates to Empty
    } else {
      Expression();
    }
    SkipLineBreaks();
    if (tok_.kind == Tok::Error) Fail(tok_.errorNumber, tok_.offset);
    if (tok_.kind != Tok::End) Fail(kExpectedEndOfStatement, tok_.offset);
    Emit(Op::Return);
    return Finish();
  }

  std::shared_ptr<Program> CompileStatements() {
    for (;;) {
      if (tok_.kind == Tok::Newline) {
        Advance();
        continue;
      }
      if (tok_.kind == Tok::End) break;
      Statement();
      if (tok_.kind == Tok::Error) Fail(tok_.errorNumber, tok_.offset);
      if (tok_.kind != Tok::Newline && tok_.kind != Tok::End)
        Fail(kExpectedEndOfStatement, tok_.offset);
    }
    Emit(Op::Return);
    return Finish();
  }

 private:
  [[noreturn]] void Fail(int32_t number, uint32_t offset) { throw CompileFailure{number, offset}; }

  void Advance() { tok_ = lexer_.Next(); }

  void SkipLineBreaks() {
    while (tok_.kind == Tok::Newline && !tok_.colon) Advance();
  }

  // True when the code from `start` on is one literal: a number or a text pushed as
  // written. Comparisons of a text with a number depend on it.
  bool IsLiteral(size_t start) const {
    const auto& code = program_->code;
    if (code.size() != start + 1 || code[start].op != Op::PushConst) return false;
    const VType type = program_->constants[code[start].a].type;
    return type == VType::String || type == VType::Byte || type == VType::Integer ||
           type == VType::Long || type == VType::Double;
  }

  bool Accept(Tok kind) {
    if (tok_.kind != kind) return false;
    Advance();
    return true;
  }

  std::shared_ptr<Program> Finish() {
    program_->maxStack = maxDepth_;
    return program_;
  }

  // --- emission -----------------------------------------------------------------

  void Emit(Op op, int32_t a = 0, int argc = 0, int32_t b = -1) {
    program_->code.push_back(Instr{op, static_cast<uint8_t>(argc), a, b});
    switch (op) {
      case Op::PushConst:
      case Op::Load:
        depth_ += 1;
        break;
      case Op::Store:
      case Op::Pop:
        depth_ -= 1;
        break;
      case Op::StoreMember:
        depth_ -= 2;
        break;
      case Op::CallBuiltin:
      case Op::CallSlot:
        depth_ += 1 - argc;
        break;
      case Op::CallMember:
        depth_ -= argc;
        break;
      case Op::Neg:
      case Op::Pos:
      case Op::Not:
      case Op::LoadMember:
      case Op::Raise:
      case Op::Statement:
      case Op::Return:
        break;
      default:  // binary operators
        depth_ -= 1;
        break;
    }
    maxDepth_ = std::max(maxDepth_, depth_);
  }

  int32_t Constant(Variant value) {
    program_->constants.push_back(std::move(value));
    return static_cast<int32_t>(program_->constants.size() - 1);
  }

  int32_t Name(const std::string& name) {
    auto& names = program_->names;
    auto it = std::find(names.begin(), names.end(), name);
    if (it != names.end()) return static_cast<int32_t>(it - names.begin());
    names.push_back(name);
    return static_cast<int32_t>(names.size() - 1);
  }

  void LoadSlot(int32_t slot) {
    Emit(Op::Load, slot);
    auto& read = program_->slotsRead;
    if (std::find(read.begin(), read.end(), slot) == read.end()) read.push_back(slot);
  }

  void BeginStatement(uint32_t offset) {
    StatementInfo info;
    uint32_t lineStart = 0;
    for (uint32_t p = 0; p < offset && p < src_.size(); ++p) {
      if (src_[p] == '\n' || (src_[p] == '\r' && (p + 1 >= src_.size() || src_[p + 1] != '\n'))) {
        ++info.line;
        lineStart = p + 1;
      }
    }
    info.column = static_cast<int32_t>(offset - lineStart);
    program_->statements.push_back(info);
    Emit(Op::Statement, static_cast<int32_t>(program_->statements.size() - 1));
  }

  void Enter() {
    if (++nesting_ > kMaxNesting) Fail(kOutOfStack, tok_.offset);
  }
  void Leave() { --nesting_; }

  // --- statements ---------------------------------------------------------------

  /// statement := name ('.' member)* '=' expression | name [arguments]
  void Statement() {
    BeginStatement(tok_.offset);
    if (tok_.kind == Tok::Error) Fail(tok_.errorNumber, tok_.offset);
    if (tok_.kind != Tok::Identifier) Fail(kExpectedStatement, tok_.offset);
    const std::string name = tok_.name;
    Advance();
    const int builtin = BuiltinId(name);

    if (tok_.kind == Tok::Dot) {
      if (builtin >= 0) Fail(kExpectedEndOfStatement, tok_.offset);
      LoadSlot(names_.SlotFor(name));
      for (;;) {
        Advance();  // the "."
        if (tok_.kind != Tok::Identifier) Fail(kExpectedIdentifier, tok_.offset);
        const int32_t member = Name(tok_.name);
        Advance();
        if (tok_.kind == Tok::Dot) {
          Emit(Op::LoadMember, member);
          continue;
        }
        if (Accept(Tok::Eq)) {
          Expression();
          Emit(Op::StoreMember, member);
        } else {
          const int argc = CallArguments();
          Emit(Op::CallMember, member, argc);
          Emit(Op::Pop);
        }
        return;
      }
    }
    if (Accept(Tok::Eq)) {
      Expression();
      if (builtin >= 0) {
        Emit(Op::Raise, kIllegalAssignment, 0, Name(name));
        Emit(Op::Pop);
      } else {
        Emit(Op::Store, names_.SlotFor(name));
      }
      return;
    }
    const int argc = CallArguments();
    EmitCall(name, builtin, argc);
    Emit(Op::Pop);
  }

  // Arguments of a call statement: none, or a list with or without parentheses.
  int CallArguments() {
    if (tok_.kind == Tok::Newline || tok_.kind == Tok::End) return 0;
    int argc = 0;
    do {
      Expression();
      ++argc;
    } while (Accept(Tok::Comma));
    return argc;
  }

  void EmitCall(const std::string& name, int builtin, int argc) {
    if (argc > 255) Fail(kOutOfStack, tok_.offset);
    if (builtin >= 0)
      Emit(Op::CallBuiltin, builtin, argc, Name(name));
    else
      Emit(Op::CallSlot, names_.SlotFor(name), argc, Name(name));
  }

  // --- expressions, lowest precedence first --------------------------------------

  void Expression() { Imp(); }

  template <typename Next>
  void LeftAssociative(Tok token, Op op, Next next) {
    (this->*next)();
    while (Accept(token)) {
      (this->*next)();
      Emit(op);
    }
  }

  /// imp := eqv ('Imp' eqv)*      ... and so on down to And
  void Imp() { LeftAssociative(Tok::KwImp, Op::Imp, &Compiler::Eqv); }
  void Eqv() { LeftAssociative(Tok::KwEqv, Op::Eqv, &Compiler::Xor); }
  void Xor() { LeftAssociative(Tok::KwXor, Op::Xor, &Compiler::Or); }
  void Or() { LeftAssociative(Tok::KwOr, Op::Or, &Compiler::And); }
  void And() { LeftAssociative(Tok::KwAnd, Op::And, &Compiler::Not); }

  /// not := 'Not' not | comparison
  void Not() {
    if (tok_.kind == Tok::KwNot) {
      Enter();
      Advance();
      Not();
      Emit(Op::Not);
      Leave();
      return;
    }
    Comparison();
  }

  /// comparison := concat (compare (concat | not))*
  /// compare := '=' | '<>' | '<' | '>' | '<=' | '>=' | 'Is'
  /// A "Not" after a comparison operator takes the rest of the chain as its operand:
  /// 1 > Not 5 > 3 is 1 > Not (5 > 3). Each comparison records which of its operands
  /// were literals.
  void Comparison() {
    size_t start = program_->code.size();
    Concat();
    bool leftLiteral = IsLiteral(start);
    for (;;) {
      Op op;
      switch (tok_.kind) {
        case Tok::Eq:
          op = Op::Eq;
          break;
        case Tok::Ne:
          op = Op::Ne;
          break;
        case Tok::Lt:
          op = Op::Lt;
          break;
        case Tok::Gt:
          op = Op::Gt;
          break;
        case Tok::Le:
          op = Op::Le;
          break;
        case Tok::Ge:
          op = Op::Ge;
          break;
        case Tok::KwIs:
          op = Op::Is;
          break;
        default:
          return;
      }
      Advance();
      start = program_->code.size();
      if (tok_.kind == Tok::KwNot)
        Not();
      else
        Concat();
      const int literals =
          (leftLiteral ? kLeftLiteral : 0) | (IsLiteral(start) ? kRightLiteral : 0);
      Emit(op, 0, literals);
      leftLiteral = false;  // the next operator's left operand is this comparison
    }
  }

  void Concat() { LeftAssociative(Tok::Amp, Op::Concat, &Compiler::Additive); }

  /// additive := mod (('+' | '-') mod)*
  void Additive() {
    Modulo();
    for (;;) {
      if (Accept(Tok::Plus)) {
        Modulo();
        Emit(Op::Add);
      } else if (Accept(Tok::Minus)) {
        Modulo();
        Emit(Op::Sub);
      } else {
        return;
      }
    }
  }

  void Modulo() { LeftAssociative(Tok::KwMod, Op::Mod, &Compiler::IntDivide); }
  void IntDivide() { LeftAssociative(Tok::Backslash, Op::IntDiv, &Compiler::Multiplicative); }

  /// multiplicative := power (('*' | '/') power)*
  void Multiplicative() {
    Power();
    for (;;) {
      if (Accept(Tok::Star)) {
        Power();
        Emit(Op::Mul);
      } else if (Accept(Tok::Slash)) {
        Power();
        Emit(Op::Div);
      } else {
        return;
      }
    }
  }

  /// power := unary ('^' unary)*   (left to right; a sign binds tighter than "^")
  void Power() { LeftAssociative(Tok::Caret, Op::Pow, &Compiler::Unary); }

  /// unary := ('-' | '+') unary | postfix
  void Unary() {
    if (tok_.kind == Tok::Minus || tok_.kind == Tok::Plus) {
      const Op op = tok_.kind == Tok::Minus ? Op::Neg : Op::Pos;
      Enter();
      Advance();
      Unary();
      Emit(op);
      Leave();
      return;
    }
    Postfix();
  }

  /// postfix := primary ('.' name [arguments])*
  void Postfix() {
    Primary();
    while (tok_.kind == Tok::Dot) {
      Advance();
      if (tok_.kind != Tok::Identifier) Fail(kExpectedIdentifier, tok_.offset);
      const int32_t member = Name(tok_.name);
      Advance();
      if (tok_.kind == Tok::LParen) {
        const int argc = ParenthesizedArguments();
        Emit(Op::CallMember, member, argc);
      } else {
        Emit(Op::LoadMember, member);
      }
    }
  }

  /// arguments := '(' [expression (',' expression)*] ')'
  int ParenthesizedArguments() {
    Enter();
    Advance();  // "("
    int argc = 0;
    if (!Accept(Tok::RParen)) {
      do {
        Expression();
        ++argc;
      } while (Accept(Tok::Comma));
      if (tok_.kind == Tok::Error) Fail(tok_.errorNumber, tok_.offset);
      if (!Accept(Tok::RParen)) Fail(kExpectedCloseParen, tok_.offset);
    }
    if (argc > 255) Fail(kOutOfStack, tok_.offset);
    Leave();
    return argc;
  }

  /// primary := number | string | True | False | Empty | Null | Nothing
  ///          | name [arguments] | '(' expression ')'
  void Primary() {
    switch (tok_.kind) {
      case Tok::Number:
      case Tok::String:
        Emit(Op::PushConst, Constant(tok_.value));
        Advance();
        return;
      case Tok::KwTrue:
        Emit(Op::PushConst, Constant(Variant::Bool(true)));
        Advance();
        return;
      case Tok::KwFalse:
        Emit(Op::PushConst, Constant(Variant::Bool(false)));
        Advance();
        return;
      case Tok::KwEmpty:
        Emit(Op::PushConst, Constant(Variant()));
        Advance();
        return;
      case Tok::KwNull:
        Emit(Op::PushConst, Constant(Variant::Null()));
        Advance();
        return;
      case Tok::KwNothing:
        Emit(Op::PushConst, Constant(Variant::Obj(nullptr)));
        Advance();
        return;
      case Tok::Identifier: {
        const std::string name = tok_.name;
        Advance();
        const int builtin = BuiltinId(name);
        if (tok_.kind == Tok::LParen) {
          const int argc = ParenthesizedArguments();
          EmitCall(name, builtin, argc);
        } else if (builtin >= 0) {
          EmitCall(name, builtin, 0);
        } else {
          LoadSlot(names_.SlotFor(name));
        }
        return;
      }
      case Tok::LParen: {
        Enter();
        Advance();
        Expression();
        if (tok_.kind == Tok::Error) Fail(tok_.errorNumber, tok_.offset);
        if (!Accept(Tok::RParen)) Fail(kExpectedCloseParen, tok_.offset);
        Leave();
        return;
      }
      case Tok::Error:
        Fail(tok_.errorNumber, tok_.offset);
      case Tok::KwOther:
        Fail(kSyntaxError, tok_.offset);
      case Tok::End:
      case Tok::Newline:
        // The text (or the statement) ends where an operand is due, as after a
        // trailing operator: the original engine calls that a syntax error.
        Fail(kSyntaxError, tok_.offset);
      default:
        Fail(kExpectedExpression, tok_.offset);
    }
  }

  std::string_view src_;
  Lexer lexer_;
  Namespace& names_;
  std::shared_ptr<Program> program_;
  Token tok_;
  int depth_ = 0;
  int maxDepth_ = 0;
  int nesting_ = 0;
};

}  // namespace

CompileResult Compile(std::string_view source, bool expression, Namespace& names) {
  CompileResult result;
  try {
    Compiler compiler(source, names);
    result.program = expression ? compiler.CompileExpression() : compiler.CompileStatements();
  } catch (const CompileFailure& failure) {
    result.error = failure.number;
    result.errorOffset = failure.offset;
  }
  return result;
}

}  // namespace quorvant::script
