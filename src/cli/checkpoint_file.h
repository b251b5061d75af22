// The checkpoint of a run on disk: which run it belongs to (the problem and the options
// that decide the listing), where the run stood, and the listing up to there. A text
// file of fixed form, every double as its 64 bits in hexadecimal, closed by a check sum
// over everything before it, so a damaged or cut file is refused rather than resumed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run_checkpoint.h"

namespace quorvant {

struct CheckpointFile {
  uint64_t identity = 0;  // RunIdentity of the run
  RunCheckpoint state;
  std::vector<std::string> lines;  // the listing of the committed parts
  bool operator==(const CheckpointFile&) const = default;
};

// What makes two runs the same run: the problem as its file text, and the options that
// decide the listing (Explore or Random with its trials, "Show additional info"). The
// threads and the part size change no listed line, so a run may go on with others.
uint64_t RunIdentity(std::string_view problemText, std::string_view options);

std::string WriteCheckpointText(const CheckpointFile& checkpoint);
// Reads a checkpoint's text; false with the reason in `error` (one phrase, no full stop)
// when it is not one or is damaged. `variables` is the number of coordinates the
// problem has: stored points and working values must have that many.
bool ReadCheckpointText(std::string_view text, int variables, CheckpointFile& checkpoint,
                        std::string& error);

}  // namespace quorvant
