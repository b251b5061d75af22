// Fuzzes the problem file: the input is a file's text. Whatever the reader accepts must
// be a problem within the limits, be written, read back as the same problem, and be
// written again as the same text. Any crash, sanitizer report or difference is a
// finding.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "docs/problem_file.h"
#include "model/problem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  quorvant::Problem doc;
  std::string error;
  if (!quorvant::ReadProblemText(text, doc, error)) {
    if (error.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  // Every variable has its name, limits and subintervals; every stored point its n
  // coordinates and its pivot; the stores and constants stay within their sizes.
  const auto n = static_cast<size_t>(doc.varCount());
  if (n < 1 || n > static_cast<size_t>(quorvant::kMaxVariables) || doc.lowerLimit.size() != n ||
      doc.upperLimit.size() != n || doc.subintervals.size() != n)
    std::abort();
  if (doc.maxCount() > quorvant::kStoreSize || doc.minCount() > quorvant::kStoreSize ||
      doc.constants.size() > static_cast<size_t>(quorvant::kConstantSlots))
    std::abort();
  for (const auto* store : {&doc.maxima, &doc.minima})
    for (const quorvant::StoredPoint& stored : *store)
      if (stored.size() != n + 1) std::abort();

  std::string written;
  if (!quorvant::WriteProblemText(doc, written, error)) std::abort();  // read, so writable
  quorvant::Problem back;
  if (!quorvant::ReadProblemText(written, back, error)) std::abort();
  if (!(back == doc)) std::abort();
  std::string again;
  if (!quorvant::WriteProblemText(back, again, error) || again != written) std::abort();
  return 0;
}
