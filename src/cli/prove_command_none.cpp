// Builds without Arb have no Prove: the option says so.
#include "cli/prove_command.h"

namespace quorvant {

bool ProveAvailable() {
  return false;
}

int RunProveCommand(Problem&, const std::string&, const FileStamp&, FunctionEvaluator&, int,
                    const ProveBudget&, bool, std::FILE*, std::FILE* err, const CliHost& host) {
  const std::string line =
      host.program + ": --prove is not available in this build (it needs Arb: libflint-arb-dev)\n";
  std::fwrite(line.data(), 1, line.size(), err);
  return kExitUsage;
}

}  // namespace quorvant
