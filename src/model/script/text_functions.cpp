#include "model/script/text_functions.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "model/script/operators.h"
#include "model/script/script_error.h"

namespace quorvant::script {

namespace {

bool IsNull(const Variant& v) {
  return v.type == VType::Null;
}

// A text argument: Empty is "", a Boolean "True"/"False", a number its text; an
// object is a type mismatch. Null is the caller's business.
int32_t TextArg(const Variant& v, std::string& out) {
  return ToText(v, out);
}

// A whole-number argument (a length, a position, a count): Null is an invalid use,
// a value is rounded half to even into the Long range.
int32_t WholeArg(const Variant& v, int32_t& out) {
  if (IsNull(v)) return kInvalidUseOfNull;
  return ToLong(v, out);
}

// The comparison argument: 0 compares bytes, 1 ignores the case of ASCII letters;
// anything else is an invalid argument.
int32_t CompareArg(const Variant& v, bool& ignoreCase) {
  int32_t mode;
  if (int32_t e = WholeArg(v, mode)) return e;
  if (mode != 0 && mode != 1) return kInvalidCall;
  ignoreCase = mode == 1;
  return 0;
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string Lowered(std::string text) {
  for (char& c : text) c = Lower(c);
  return text;
}

// First position (0-based) of `needle` in `haystack` at or after `from`, or npos.
size_t Find(const std::string& haystack, const std::string& needle, size_t from, bool ignoreCase) {
  if (!ignoreCase) return haystack.find(needle, from);
  return Lowered(haystack).find(Lowered(needle), from);
}

int32_t TextResult(std::string text, Variant& result) {
  if (text.size() > kMaxTextLength) return kOutOfMemory;
  result = Variant::Str(std::move(text));
  return 0;
}

// A text function of one text: Null gives Null.
template <typename F>
int32_t MapText(const Variant& a, Variant& result, F transform) {
  if (IsNull(a)) {
    result = Variant::Null();
    return 0;
  }
  std::string text;
  if (int32_t e = TextArg(a, text)) return e;
  result = Variant::Str(transform(std::move(text)));
  return 0;
}

// Left and Right: the count is checked before the text (Right(Null, -1) is 5,
// Right("a", Null) is 94); a Null text gives Null.
int32_t Part(std::span<const Variant> args, Variant& result, bool fromLeft) {
  int32_t count;
  if (int32_t e = WholeArg(args[1], count)) return e;
  if (count < 0) return kInvalidCall;
  if (IsNull(args[0])) {
    result = Variant::Null();
    return 0;
  }
  std::string text;
  if (int32_t e = TextArg(args[0], text)) return e;
  const size_t n = std::min(text.size(), static_cast<size_t>(count));
  result = Variant::Str(fromLeft ? text.substr(0, n) : text.substr(text.size() - n));
  return 0;
}

}  // namespace

int32_t CallLen(std::span<const Variant> args, Variant& result) {
  if (IsNull(args[0])) {
    result = Variant::Null();
    return 0;
  }
  std::string text;
  if (int32_t e = TextArg(args[0], text)) return e;
  result = Variant::Long(static_cast<int32_t>(text.size()));
  return 0;
}

int32_t CallLeft(std::span<const Variant> args, Variant& result) {
  return Part(args, result, true);
}

int32_t CallRight(std::span<const Variant> args, Variant& result) {
  return Part(args, result, false);
}

// Mid(text, start[, length]). Null arguments are found first (a Null length before
// a start that is no number), then the start (from 1) and the length (from 0) are
// checked; a Null text gives Null.
int32_t CallMid(std::span<const Variant> args, Variant& result) {
  const bool hasLength = args.size() > 2;
  if (hasLength && IsNull(args[2])) return kInvalidUseOfNull;
  int32_t start;
  if (int32_t e = WholeArg(args[1], start)) return e;
  if (start < 1) return kInvalidCall;
  int32_t length = INT32_MAX;
  if (hasLength) {
    if (int32_t e = WholeArg(args[2], length)) return e;
    if (length < 0) return kInvalidCall;
  }
  if (IsNull(args[0])) {
    result = Variant::Null();
    return 0;
  }
  std::string text;
  if (int32_t e = TextArg(args[0], text)) return e;
  const size_t from = static_cast<size_t>(start) - 1;
  result = Variant::Str(from >= text.size() ? std::string()
                                            : text.substr(from, static_cast<size_t>(length)));
  return 0;
}

// InStr([start, ]text, sought[, compare]): the position (from 1) of the first
// occurrence at or after start, 0 when there is none or start lies beyond the
// text; an empty sought text is found at start. A Null text gives Null; a Null
// start or compare is an invalid use of Null.
int32_t CallInStr(std::span<const Variant> args, Variant& result) {
  const bool hasStart = args.size() > 2;
  int32_t start = 1;
  if (hasStart) {
    if (int32_t e = WholeArg(args[0], start)) return e;
    if (start < 1) return kInvalidCall;
  }
  bool ignoreCase = false;
  if (args.size() > 3) {
    if (int32_t e = CompareArg(args[3], ignoreCase)) return e;
  }
  const Variant& a = args[hasStart ? 1 : 0];
  const Variant& b = args[hasStart ? 2 : 1];
  if (IsNull(a) || IsNull(b)) {
    result = Variant::Null();
    return 0;
  }
  std::string text, sought;
  if (int32_t e = TextArg(a, text)) return e;
  if (int32_t e = TextArg(b, sought)) return e;
  int32_t position = 0;
  if (static_cast<size_t>(start) <= text.size()) {
    if (sought.empty()) {
      position = start;
    } else {
      const size_t found = Find(text, sought, static_cast<size_t>(start) - 1, ignoreCase);
      if (found != std::string::npos) position = static_cast<int32_t>(found) + 1;
    }
  }
  result = Variant::Long(position);
  return 0;
}

// InStrRev(text, sought[, start[, compare]]): the position of the last occurrence
// that ends at or before start (-1, the default, is the end of the text). Any Null
// argument is an invalid use of Null; start must be -1 or from 1.
int32_t CallInStrRev(std::span<const Variant> args, Variant& result) {
  for (const Variant& v : args)
    if (IsNull(v)) return kInvalidUseOfNull;
  int32_t start = -1;
  if (args.size() > 2) {
    if (int32_t e = WholeArg(args[2], start)) return e;
    if (start == 0 || start < -1) return kInvalidCall;
  }
  bool ignoreCase = false;
  if (args.size() > 3) {
    if (int32_t e = CompareArg(args[3], ignoreCase)) return e;
  }
  std::string text, sought;
  if (int32_t e = TextArg(args[0], text)) return e;
  if (int32_t e = TextArg(args[1], sought)) return e;
  const size_t end = start == -1 ? text.size() : static_cast<size_t>(start);
  int32_t position = 0;
  if (end <= text.size()) {
    if (sought.empty()) {
      position = static_cast<int32_t>(end);
    } else if (sought.size() <= end) {
      const std::string head = text.substr(0, end);
      const size_t found = ignoreCase ? Lowered(head).rfind(Lowered(sought)) : head.rfind(sought);
      if (found != std::string::npos) position = static_cast<int32_t>(found) + 1;
    }
  }
  result = Variant::Long(position);
  return 0;
}

int32_t CallUCase(std::span<const Variant> args, Variant& result) {
  return MapText(args[0], result, [](std::string t) {
    for (char& c : t) c = Upper(c);
    return t;
  });
}

int32_t CallLCase(std::span<const Variant> args, Variant& result) {
  return MapText(args[0], result, [](std::string t) { return Lowered(std::move(t)); });
}

// Trim, LTrim and RTrim remove spaces (not tabs or other blanks).
int32_t CallTrim(std::span<const Variant> args, Variant& result) {
  return MapText(args[0], result, [](std::string t) {
    const size_t first = t.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    return t.substr(first, t.find_last_not_of(' ') - first + 1);
  });
}

int32_t CallLTrim(std::span<const Variant> args, Variant& result) {
  return MapText(args[0], result, [](std::string t) {
    const size_t first = t.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : t.substr(first);
  });
}

int32_t CallRTrim(std::span<const Variant> args, Variant& result) {
  return MapText(args[0], result, [](std::string t) {
    const size_t last = t.find_last_not_of(' ');
    return last == std::string::npos ? std::string() : t.substr(0, last + 1);
  });
}

int32_t CallSpace(std::span<const Variant> args, Variant& result) {
  int32_t count;
  if (int32_t e = WholeArg(args[0], count)) return e;
  if (count < 0) return kInvalidCall;
  if (static_cast<size_t>(count) > kMaxTextLength) return kOutOfMemory;
  result = Variant::Str(std::string(static_cast<size_t>(count), ' '));
  return 0;
}

// String(count, character): the character is a text's first character, or a
// character code (taken modulo 256). A Null argument gives Null; an empty text or
// a negative code or count is an invalid argument.
int32_t CallString(std::span<const Variant> args, Variant& result) {
  if (IsNull(args[0]) || IsNull(args[1])) {
    result = Variant::Null();
    return 0;
  }
  int32_t count;
  if (int32_t e = WholeArg(args[0], count)) return e;
  if (count < 0) return kInvalidCall;
  char character;
  if (args[1].type == VType::String) {
    if (args[1].s.empty()) return kInvalidCall;
    character = args[1].s[0];
  } else {
    int32_t code;
    if (int32_t e = WholeArg(args[1], code)) return e;
    if (code < 0) return kInvalidCall;
    character = static_cast<char>(code % 256);
  }
  if (static_cast<size_t>(count) > kMaxTextLength) return kOutOfMemory;
  result = Variant::Str(std::string(static_cast<size_t>(count), character));
  return 0;
}

// StrComp(a, b[, compare]): -1, 0 or 1 as an Integer; Null when a text is Null.
int32_t CallStrComp(std::span<const Variant> args, Variant& result) {
  bool ignoreCase = false;
  if (args.size() > 2) {
    if (int32_t e = CompareArg(args[2], ignoreCase)) return e;
  }
  if (IsNull(args[0]) || IsNull(args[1])) {
    result = Variant::Null();
    return 0;
  }
  std::string a, b;
  if (int32_t e = TextArg(args[0], a)) return e;
  if (int32_t e = TextArg(args[1], b)) return e;
  if (ignoreCase) {
    a = Lowered(std::move(a));
    b = Lowered(std::move(b));
  }
  const int c = a.compare(b);
  result = Variant::Int(static_cast<int16_t>(c < 0 ? -1 : (c > 0 ? 1 : 0)));
  return 0;
}

int32_t CallStrReverse(std::span<const Variant> args, Variant& result) {
  if (IsNull(args[0])) return kInvalidUseOfNull;
  std::string text;
  if (int32_t e = TextArg(args[0], text)) return e;
  std::reverse(text.begin(), text.end());
  result = Variant::Str(std::move(text));
  return 0;
}

// Replace(text, sought, replacement[, start[, count[, compare]]]): the text from
// start on, with up to count occurrences (-1 all) replaced left to right. Any Null
// argument is an invalid use of Null; start from 1, count from -1, compare 0 or 1.
int32_t CallReplace(std::span<const Variant> args, Variant& result) {
  for (const Variant& v : args)
    if (IsNull(v)) return kInvalidUseOfNull;
  int32_t start = 1, count = -1;
  bool ignoreCase = false;
  if (args.size() > 3) {
    if (int32_t e = WholeArg(args[3], start)) return e;
    if (start < 1) return kInvalidCall;
  }
  if (args.size() > 4) {
    if (int32_t e = WholeArg(args[4], count)) return e;
    if (count < -1) return kInvalidCall;
  }
  if (args.size() > 5) {
    if (int32_t e = CompareArg(args[5], ignoreCase)) return e;
  }
  std::string text, sought, replacement;
  if (int32_t e = TextArg(args[0], text)) return e;
  if (int32_t e = TextArg(args[1], sought)) return e;
  if (int32_t e = TextArg(args[2], replacement)) return e;
  const size_t from = static_cast<size_t>(start) - 1;
  if (from >= text.size()) {
    result = Variant::Str(std::string());
    return 0;
  }
  const std::string tail = text.substr(from);
  if (sought.empty() || count == 0) return TextResult(tail, result);
  const std::string haystack = ignoreCase ? Lowered(tail) : tail;
  const std::string needle = ignoreCase ? Lowered(sought) : sought;
  std::string out;
  size_t position = 0;
  for (int32_t done = 0; count < 0 || done < count; ++done) {
    const size_t found = haystack.find(needle, position);
    if (found == std::string::npos) break;
    out.append(tail, position, found - position);
    out += replacement;
    position = found + needle.size();
    if (out.size() > kMaxTextLength) return kOutOfMemory;
  }
  out.append(tail, position, std::string::npos);
  return TextResult(std::move(out), result);
}

// Asc(text): the code (0..255) of the first character, as an Integer.
int32_t CallAsc(std::span<const Variant> args, Variant& result) {
  if (IsNull(args[0])) return kInvalidUseOfNull;
  std::string text;
  if (int32_t e = TextArg(args[0], text)) return e;
  if (text.empty()) return kInvalidCall;
  result = Variant::Int(static_cast<unsigned char>(text[0]));
  return 0;
}

// Chr(code): the character with that code, 0..255.
int32_t CallChr(std::span<const Variant> args, Variant& result) {
  int32_t code;
  if (int32_t e = WholeArg(args[0], code)) return e;
  if (code < 0 || code > 255) return kInvalidCall;
  result = Variant::Str(std::string(1, static_cast<char>(code)));
  return 0;
}

}  // namespace quorvant::script
