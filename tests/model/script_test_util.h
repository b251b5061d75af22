// Shared helpers for the interpreter tests: an engine prepared as the program
// prepares it, and "value (Subtype)" texts to compare against.
#pragma once

#include <bit>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/function_evaluator.h"
#include "model/message_sink.h"
#include "model/script/script_engine.h"

namespace quorvant::testing {

// What one evaluation of the function gave, to the bit: the error number, the value's
// bits (0 after an error), and the error records of the evaluator and of the extra
// functions. Two paths agree when their outcomes are equal.
struct EvaluationOutcome {
  int32_t error;
  uint64_t bits;
  int32_t ierr;
  int32_t extraIerr;
  bool operator==(const EvaluationOutcome&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const EvaluationOutcome& o) {
  return out << "{error " << o.error << ", bits " << std::hex << o.bits << std::dec << ", ierr "
             << o.ierr << ", sh.ierr " << o.extraIerr << "}";
}

inline EvaluationOutcome EvaluateOutcome(FunctionEvaluator& evaluator,
                                         std::span<const double> point) {
  double value = 0;
  const int32_t e = evaluator.EvaluateFunction(point, value);
  return {e, e ? 0 : std::bit_cast<uint64_t>(value), evaluator.ierr(),
          evaluator.extraFunctions().ierr};
}

class RecordingSink : public MessageSink {
 public:
  struct Message {
    std::string title;
    std::string text;
    MessageIcon icon;
  };
  void ShowMessage(std::string_view title, std::string_view text, MessageIcon icon) override {
    messages.push_back({std::string(title), std::string(text), icon});
  }
  std::vector<Message> messages;
};

// The name of case `index` of a table whose cases are texts under test: the letters and
// digits of the text, each run of other characters one underscore, then the index (two
// texts may differ only in their other characters). Test names take nothing else.
inline std::string CaseName(std::string_view text, size_t index) {
  std::string name;
  for (char c : text) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (alnum)
      name += c;
    else if (!name.empty() && name.back() != '_')
      name += '_';
    if (name.size() >= 40) break;
  }
  if (!name.empty() && name.back() != '_') name += '_';
  return name + std::to_string(index);
}

// An engine with the extra functions and start-up constants, as the program has it.
struct PreparedEngine {
  RecordingSink sink;
  FunctionEvaluator evaluator{sink};
  PreparedEngine() { evaluator.Prepare(); }
  script::ScriptEngine& engine() { return evaluator.engine(); }

  // "value (Subtype)" or "error N".
  std::string Eval(const std::string& text) {
    script::Variant v;
    if (int32_t e = engine().Eval(text, v)) return "error " + std::to_string(e);
    return script::DisplayText(v) + " (" + std::string(script::TypeName(v.type)) + ")";
  }
};

}  // namespace quorvant::testing
