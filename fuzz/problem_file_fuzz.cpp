// Fuzzes the problem file: the input is a file's text. Whatever the reader accepts must
// go into the problem state and back unchanged, be written, read back as the same
// document, and be written again as the same text. Any crash, sanitizer report or
// difference is a finding.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "docs/problem_file.h"
#include "model/dimension.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  quorvant::ProblemDocument doc;
  std::string error;
  if (!quorvant::ReadProblemText(text, doc, error)) {
    if (error.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  quorvant::Dimension dim;
  quorvant::ApplyDocument(doc, dim);
  if (!(quorvant::DocumentFromProblem(dim) == doc)) std::abort();

  std::string written;
  if (!quorvant::WriteProblemText(doc, written, error)) std::abort();  // read, so writable
  quorvant::ProblemDocument back;
  if (!quorvant::ReadProblemText(written, back, error)) std::abort();
  if (!(back == doc)) std::abort();
  std::string again;
  if (!quorvant::WriteProblemText(back, again, error) || again != written) std::abort();
  return 0;
}
