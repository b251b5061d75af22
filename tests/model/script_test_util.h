// Shared helpers for the interpreter tests: an engine prepared as the program
// prepares it, and "value (Subtype)" texts to compare against.
#pragma once

#include <string>
#include <vector>

#include "model/dimension.h"
#include "model/function_evaluator.h"
#include "model/message_sink.h"
#include "model/script/script_engine.h"

namespace quorvant::testing {

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

// An engine with the extra functions and start-up constants, as the program has it.
struct PreparedEngine {
  Dimension dim;
  RecordingSink sink;
  FunctionEvaluator evaluator{dim, sink};
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
