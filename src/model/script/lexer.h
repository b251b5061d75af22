// Lexer of the formula language: turns source text into tokens that keep their
// offset, so errors can point at the fault.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/script/variant.h"

namespace quorvant::script {

enum class Tok : uint8_t {
  End,
  Newline,  // a line break or ":" (both end a statement)
  Number,
  String,
  Identifier,
  // operators and punctuation
  Plus,
  Minus,
  Star,
  Slash,
  Backslash,
  Caret,
  Amp,
  Eq,
  Ne,
  Lt,
  Gt,
  Le,
  Ge,
  LParen,
  RParen,
  Comma,
  Dot,
  // keywords that take part in expressions
  KwNot,
  KwAnd,
  KwOr,
  KwXor,
  KwEqv,
  KwImp,
  KwMod,
  KwIs,
  KwTrue,
  KwFalse,
  KwEmpty,
  KwNull,
  KwNothing,
  KwOther,  // any other reserved word: never a plain name
  Error,    // lexical error: `errorNumber` says which
};

struct Token {
  Tok kind = Tok::End;
  uint32_t offset = 0;  // byte offset in the source
  uint32_t length = 0;
  bool colon = false;       // Newline token that came from ":"
  Variant value;            // Number / String
  std::string name;         // Identifier (as written, without brackets)
  int32_t errorNumber = 0;  // Error
};

class Lexer {
 public:
  explicit Lexer(std::string_view source) : src_(source) {}
  Token Next();

 private:
  Token LexNumber(uint32_t start);
  Token LexRadix(uint32_t start, int radix, bool prefixLetter);
  Token LexString(uint32_t start);
  Token LexWord(uint32_t start);
  Token Make(Tok kind, uint32_t start) const;
  Token Fail(int32_t number, uint32_t start) const;
  void SkipBlanksAndContinuations();

  std::string_view src_;
  uint32_t pos_ = 0;
};

}  // namespace quorvant::script
