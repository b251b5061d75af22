// Builds without Arb have no Prove: the window's command is disabled and says why.
#include "ui/prove_run.h"

namespace quorvant {

bool ProveBuilt() {
  return false;
}

const char* ProveMissingReason() {
  return "Prove is not available in this build: it needs Arb (libflint-arb-dev)";
}

std::string ProveRefusal(FunctionEvaluator&, const Problem&) {
  return ProveMissingReason();
}

ProveOutcome RunProof(std::shared_ptr<const Problem> problem, const EvaluatorRecipe&,
                      const std::atomic<bool>&, const std::function<void(const ProveCounts&)>&) {
  ProveOutcome outcome;
  outcome.problem = std::move(problem);
  outcome.refusal = ProveMissingReason();
  return outcome;
}

}  // namespace quorvant
