// The formula compiler where this build has no back end: nothing is compiled, and
// the interpreter runs every formula.
#include "model/script/jit.h"

namespace quorvant::script {

CompiledFormula::~CompiledFormula() = default;

bool CompilerAvailable() {
  return false;
}

std::unique_ptr<const CompiledFormula> CompileFormula(const FastProgram&,
                                                      std::span<const DirectInput>) {
  return nullptr;
}

std::string CompiledListing(const FastProgram&, std::span<const DirectInput>) {
  return {};
}

}  // namespace quorvant::script
