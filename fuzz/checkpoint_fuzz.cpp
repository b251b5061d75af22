// Fuzzes the reader of checkpoint files (`--resume` reads one from disk). The first
// byte gives the number of variables; the rest is the text before the closing check-sum
// line, which is added here (a mutated text would otherwise only ever meet the check
// sum). A checkpoint is either refused with a reason or read whole, and one that is read
// must write out to a text that reads back as the same checkpoint (the same text again). Any crash,
// sanitizer report or difference is a finding.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/checkpoint_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quorvant;
  if (size < 1) return 0;
  const int variables = 1 + data[0] % 10;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  uint64_t hash = 1469598103934665603ull;  // 64-bit FNV-1a, as the file's check sum
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  char end[32];
  std::snprintf(end, sizeof end, "end %016llx\n", static_cast<unsigned long long>(hash));
  text += end;
  CheckpointFile read;
  std::string error;
  if (!ReadCheckpointText(text, variables, read, error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  // Compared as written text: every double as its bits (a NaN equals no double).
  const std::string written = WriteCheckpointText(read);
  CheckpointFile again;
  if (!ReadCheckpointText(written, variables, again, error)) std::abort();
  if (WriteCheckpointText(again) != written) std::abort();
  return 0;
}
