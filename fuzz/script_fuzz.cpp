// Fuzzes the formula interpreter. The first line of the input runs as statements,
// the rest as an expression; two engines run it, one on the fast path and one on the
// plain path, and must agree to the bit. Any crash, hang, sanitizer report or
// disagreement is a finding.
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/function_evaluator.h"
#include "model/message_sink.h"

namespace {

class NullSink : public quorvant::MessageSink {
 public:
  void ShowMessage(std::string_view, std::string_view, quorvant::MessageIcon) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  const std::string_view statements =
      newline == std::string_view::npos ? "" : input.substr(0, newline);
  const std::string_view expression =
      newline == std::string_view::npos ? input : input.substr(newline + 1);

  NullSink sink;
  quorvant::FunctionEvaluator fast(sink), plain(sink);
  fast.Prepare();
  plain.Prepare();
  const int32_t s1 = fast.engine().ExecuteStatement(statements);
  const int32_t s2 = plain.engine().ExecuteStatement(statements);
  if (s1 != s2) std::abort();
  double a = 0, b = 0;
  const int32_t e1 = fast.engine().EvalNumber(expression, a, true);
  const int32_t e2 = plain.engine().EvalNumber(expression, b, false);
  if (e1 != e2) std::abort();
  if (e1 == 0 && std::bit_cast<uint64_t>(a) != std::bit_cast<uint64_t>(b)) std::abort();
  if (fast.extraFunctions().ierr != plain.extraFunctions().ierr) std::abort();
  quorvant::script::Variant v;
  fast.engine().Eval(expression, v);
  return 0;
}
