#include "model/script/lexer.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>

#include "model/script/script_error.h"
#include "model/script/text_util.h"

namespace quorvant::script {

namespace {

constexpr uint32_t kMaxIdentifier = 255;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

struct Keyword {
  std::string_view word;
  Tok kind;
};

// Reserved words of the language. The first group takes part in expressions; the
// rest can never be used as a plain name.
constexpr Keyword kKeywords[] = {
    {"not", Tok::KwNot},
    {"and", Tok::KwAnd},
    {"or", Tok::KwOr},
    {"xor", Tok::KwXor},
    {"eqv", Tok::KwEqv},
    {"imp", Tok::KwImp},
    {"mod", Tok::KwMod},
    {"is", Tok::KwIs},
    {"true", Tok::KwTrue},
    {"false", Tok::KwFalse},
    {"empty", Tok::KwEmpty},
    {"null", Tok::KwNull},
    {"nothing", Tok::KwNothing},
    {"as", Tok::KwOther},
    {"boolean", Tok::KwOther},
    {"byref", Tok::KwOther},
    {"byte", Tok::KwOther},
    {"byval", Tok::KwOther},
    {"call", Tok::KwOther},
    {"case", Tok::KwOther},
    {"class", Tok::KwOther},
    {"const", Tok::KwOther},
    {"currency", Tok::KwOther},
    {"debug", Tok::KwOther},
    {"dim", Tok::KwOther},
    {"do", Tok::KwOther},
    {"double", Tok::KwOther},
    {"each", Tok::KwOther},
    {"else", Tok::KwOther},
    {"elseif", Tok::KwOther},
    {"end", Tok::KwOther},
    {"endif", Tok::KwOther},
    {"enum", Tok::KwOther},
    {"event", Tok::KwOther},
    {"exit", Tok::KwOther},
    {"for", Tok::KwOther},
    {"function", Tok::KwOther},
    {"get", Tok::KwOther},
    {"goto", Tok::KwOther},
    {"if", Tok::KwOther},
    {"implements", Tok::KwOther},
    {"in", Tok::KwOther},
    {"integer", Tok::KwOther},
    {"let", Tok::KwOther},
    {"like", Tok::KwOther},
    {"long", Tok::KwOther},
    {"loop", Tok::KwOther},
    {"lset", Tok::KwOther},
    {"me", Tok::KwOther},
    {"new", Tok::KwOther},
    {"next", Tok::KwOther},
    {"on", Tok::KwOther},
    {"option", Tok::KwOther},
    {"optional", Tok::KwOther},
    {"paramarray", Tok::KwOther},
    {"preserve", Tok::KwOther},
    {"private", Tok::KwOther},
    {"public", Tok::KwOther},
    {"raiseevent", Tok::KwOther},
    {"redim", Tok::KwOther},
    {"resume", Tok::KwOther},
    {"rset", Tok::KwOther},
    {"select", Tok::KwOther},
    {"set", Tok::KwOther},
    {"shared", Tok::KwOther},
    {"single", Tok::KwOther},
    {"static", Tok::KwOther},
    {"stop", Tok::KwOther},
    {"sub", Tok::KwOther},
    {"then", Tok::KwOther},
    {"to", Tok::KwOther},
    {"type", Tok::KwOther},
    {"typeof", Tok::KwOther},
    {"until", Tok::KwOther},
    {"variant", Tok::KwOther},
    {"wend", Tok::KwOther},
    {"while", Tok::KwOther},
    {"with", Tok::KwOther},
};

}  // namespace

Token Lexer::Make(Tok kind, uint32_t start) const {
  Token t;
  t.kind = kind;
  t.offset = start;
  t.length = pos_ - start;
  return t;
}

Token Lexer::Fail(int32_t number, uint32_t start) const {
  Token t;
  t.kind = Tok::Error;
  t.offset = start;
  t.length = 1;
  t.errorNumber = number;
  return t;
}

// Blanks separate tokens; "_" followed only by blanks and a line break joins two
// lines into one statement.
void Lexer::SkipBlanksAndContinuations() {
  for (;;) {
    while (pos_ < src_.size() && IsBlank(src_[pos_])) ++pos_;
    if (pos_ < src_.size() && src_[pos_] == '_') {
      uint32_t p = pos_ + 1;
      while (p < src_.size() && IsBlank(src_[p])) ++p;
      if (p < src_.size() && (src_[p] == '\r' || src_[p] == '\n')) {
        if (src_[p] == '\r' && p + 1 < src_.size() && src_[p + 1] == '\n') ++p;
        pos_ = p + 1;
        continue;
      }
    }
    return;
  }
}

Token Lexer::Next() {
  SkipBlanksAndContinuations();
  const uint32_t start = pos_;
  if (pos_ >= src_.size()) return Make(Tok::End, start);
  const char c = src_[pos_];

  if (c == '\r' || c == '\n') {
    if (c == '\r' && pos_ + 1 < src_.size() && src_[pos_ + 1] == '\n') ++pos_;
    ++pos_;
    return Make(Tok::Newline, start);
  }
  if (c == '\'') {  // comment to the end of the line
    while (pos_ < src_.size() && src_[pos_] != '\r' && src_[pos_] != '\n') ++pos_;
    return Next();
  }
  if (IsDigit(c) || (c == '.' && pos_ + 1 < src_.size() && IsDigit(src_[pos_ + 1])))
    return LexNumber(start);
  if (IsLetter(c) || c == '[') return LexWord(start);
  if (c == '"') return LexString(start);

  ++pos_;
  auto peek = [&](char want) {
    if (pos_ < src_.size() && src_[pos_] == want) {
      ++pos_;
      return true;
    }
    return false;
  };
  switch (c) {
    case '+':
      return Make(Tok::Plus, start);
    case '-':
      return Make(Tok::Minus, start);
    case '*':
      return Make(Tok::Star, start);
    case '/':
      return Make(Tok::Slash, start);
    case '\\':
      return Make(Tok::Backslash, start);
    case '^':
      return Make(Tok::Caret, start);
    case '(':
      return Make(Tok::LParen, start);
    case ')':
      return Make(Tok::RParen, start);
    case ',':
      return Make(Tok::Comma, start);
    case '.':
      return Make(Tok::Dot, start);
    case ':': {
      Token t = Make(Tok::Newline, start);
      t.colon = true;
      return t;
    }
    case '&':
      // "&H" and a hex digit start a hexadecimal literal; "&O" and a digit, or "&"
      // and a digit, an octal one. Otherwise "&" joins texts ("x" &hi is "x" & hi).
      if (pos_ < src_.size()) {
        const char r = src_[pos_];
        const bool digitAfter = pos_ + 1 < src_.size() && IsDigit(src_[pos_ + 1]);
        if ((r == 'h' || r == 'H') && pos_ + 1 < src_.size() &&
            std::isxdigit(static_cast<unsigned char>(src_[pos_ + 1])))
          return LexRadix(start, 16, true);
        if ((r == 'o' || r == 'O') && digitAfter) return LexRadix(start, 8, true);
        if (IsDigit(r)) return LexRadix(start, 8, false);
      }
      return Make(Tok::Amp, start);
    case '=':
      if (peek('<')) return Make(Tok::Le, start);
      if (peek('>')) return Make(Tok::Ge, start);
      return Make(Tok::Eq, start);
    case '<':
      if (peek('=')) return Make(Tok::Le, start);
      if (peek('>')) return Make(Tok::Ne, start);
      return Make(Tok::Lt, start);
    case '>':
      if (peek('=')) return Make(Tok::Ge, start);
      if (peek('<')) return Make(Tok::Ne, start);
      return Make(Tok::Gt, start);
    default:
      return Fail(kInvalidCharacter, start);
  }
}

// Decimal literal: digits, an optional fraction, an optional exponent. A whole
// number takes the smallest subtype that holds it; a fraction or an exponent makes a
// Double. A literal beyond the Double range is an invalid number.
Token Lexer::LexNumber(uint32_t start) {
  bool isReal = false;
  while (pos_ < src_.size() && IsDigit(src_[pos_])) ++pos_;
  if (pos_ < src_.size() && src_[pos_] == '.') {
    isReal = true;
    ++pos_;
    while (pos_ < src_.size() && IsDigit(src_[pos_])) ++pos_;
  }
  if (pos_ < src_.size() && (src_[pos_] == 'e' || src_[pos_] == 'E')) {
    uint32_t p = pos_ + 1;
    if (p < src_.size() && (src_[p] == '+' || src_[p] == '-')) ++p;
    if (p < src_.size() && IsDigit(src_[p])) {
      isReal = true;
      pos_ = p;
      while (pos_ < src_.size() && IsDigit(src_[pos_])) ++pos_;
    } else {
      ++pos_;
      return Fail(kInvalidNumber, start);
    }
  }
  std::string_view text = src_.substr(start, pos_ - start);
  double value = 0;
  // from_chars does not take a leading "."; the digits are the same with a "0" before.
  std::string buffer;
  if (text.front() == '.') {
    buffer.reserve(text.size() + 1);
    buffer.push_back('0');
    buffer.append(text);
    text = buffer;
  }
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Tiny values read as 0 (1e-94938484 is 0); huge ones are invalid.
    bool tiny = false;
    for (uint32_t p = 0; p < text.size(); ++p)
      if ((text[p] == 'e' || text[p] == 'E') && p + 1 < text.size() && text[p + 1] == '-')
        tiny = true;
    if (!tiny) return Fail(kInvalidNumber, start);
    value = 0;
  } else if (ec != std::errc() || !std::isfinite(value)) {
    return Fail(kInvalidNumber, start);
  }
  Token t = Make(Tok::Number, start);
  if (!isReal && value <= 2147483647.0)
    t.value = Variant::WholeNumber(static_cast<int64_t>(value));
  else
    t.value = Variant::Dbl(value);
  return t;
}

// "&H" hexadecimal and "&O" (or bare "&") octal literals. Without a trailing "&" a
// value that fits 16 bits is read as a signed 16-bit number (&HFFFF is -1);
// otherwise as a signed 32-bit number. An 8 or 9 among octal digits is a syntax
// error. The result takes the smallest subtype that holds it, where an Integer
// literal holds -32767..32767: there are no negative decimal literals (-32768 is the
// negation of the Long 32768), and a radix literal that comes out as -32768
// (&H8000, &O100000, &HFFFF8000&) is a Long too, as in the original engine.
Token Lexer::LexRadix(uint32_t start, int radix, bool prefixLetter) {
  if (prefixLetter) pos_ += 1;  // the H or O
  uint64_t value = 0;
  while (pos_ < src_.size()) {
    const char ch = src_[pos_];
    int d;
    if (IsDigit(ch))
      d = ch - '0';
    else if (ch >= 'a' && ch <= 'f')
      d = ch - 'a' + 10;
    else if (ch >= 'A' && ch <= 'F')
      d = ch - 'A' + 10;
    else
      break;
    if (d >= radix) {
      if (IsDigit(ch)) return Fail(kSyntaxError, start);
      break;
    }
    value = value * radix + d;
    ++pos_;
    if (value > 0xFFFFFFFFull) return Fail(kInvalidNumber, start);
  }
  bool forceLong = false;
  if (pos_ < src_.size() && src_[pos_] == '&') {
    forceLong = true;
    ++pos_;
  }
  int64_t signedValue;
  if (!forceLong && value <= 0xFFFF)
    signedValue = static_cast<int16_t>(static_cast<uint16_t>(value));
  else
    signedValue = static_cast<int32_t>(static_cast<uint32_t>(value));
  Token t = Make(Tok::Number, start);
  t.value = signedValue == INT16_MIN ? Variant::Long(INT16_MIN) : Variant::WholeNumber(signedValue);
  return t;
}

Token Lexer::LexString(uint32_t start) {
  ++pos_;
  std::string text;
  for (;;) {
    if (pos_ >= src_.size() || src_[pos_] == '\r' || src_[pos_] == '\n')
      return Fail(kUnterminatedString, start);
    const char ch = src_[pos_++];
    if (ch == '"') {
      if (pos_ < src_.size() && src_[pos_] == '"') {
        text.push_back('"');
        ++pos_;
        continue;
      }
      break;
    }
    text.push_back(ch);
  }
  Token t = Make(Tok::String, start);
  t.value = Variant::Str(std::move(text));
  return t;
}

// A name: a letter followed by letters, digits and "_", or any characters but "]"
// and line breaks between brackets. Reserved words become keyword tokens; "Rem"
// starts a comment.
Token Lexer::LexWord(uint32_t start) {
  if (src_[pos_] == '[') {
    ++pos_;
    const uint32_t nameStart = pos_;
    while (pos_ < src_.size() && src_[pos_] != ']' && src_[pos_] != '\r' && src_[pos_] != '\n')
      ++pos_;
    if (pos_ >= src_.size() || src_[pos_] != ']') return Fail(kExpectedCloseBracket, start);
    const uint32_t nameEnd = pos_++;
    if (nameEnd - nameStart > kMaxIdentifier) return Fail(kIdentifierTooLong, start);
    Token t = Make(Tok::Identifier, start);
    t.name = std::string(src_.substr(nameStart, nameEnd - nameStart));
    return t;
  }
  while (pos_ < src_.size() && (IsLetter(src_[pos_]) || IsDigit(src_[pos_]) || src_[pos_] == '_'))
    ++pos_;
  if (pos_ - start > kMaxIdentifier) return Fail(kIdentifierTooLong, start);
  std::string_view word = src_.substr(start, pos_ - start);
  if (EqualsNoCase(word, "rem")) {
    while (pos_ < src_.size() && src_[pos_] != '\r' && src_[pos_] != '\n') ++pos_;
    return Next();
  }
  for (const Keyword& k : kKeywords) {
    if (EqualsNoCase(word, k.word)) return Make(k.kind, start);
  }
  Token t = Make(Tok::Identifier, start);
  t.name = std::string(word);
  return t;
}

}  // namespace quorvant::script
