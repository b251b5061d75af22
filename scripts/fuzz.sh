#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs one of them, or all in turn, for SECONDS each
# (default 60), starting from the corpus kept in the repository. Exits non-zero on any
# finding; the input that caused it is left in build-fuzz/artifacts/.
#   scripts/fuzz.sh [script_fuzz | problem_file_fuzz | cli_fuzz | wire_fuzz | numtext_fuzz |
#                    checkpoint_fuzz | enclosure_fuzz | all]
#                   [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
target="${1:-all}"
seconds="${2:-60}"
targets=(script_fuzz problem_file_fuzz cli_fuzz wire_fuzz numtext_fuzz checkpoint_fuzz enclosure_fuzz)
[ "$target" = all ] || targets=("$target")

CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVANT_CORE_ONLY=ON -DQUORVANT_SANITIZE=ON -DQUORVANT_FUZZ=ON -DQUORVANT_BENCH=OFF >/dev/null
cmake --build build-fuzz --target "${targets[@]}"
mkdir -p build-fuzz/artifacts
for t in "${targets[@]}"; do
  corpus="build-fuzz/corpus/$t"
  mkdir -p "$corpus"
  # The kept corpus seeds the run; what the run adds stays in the build folder.
  cp -n "fuzz/corpus/$t/"* "$corpus/" 2>/dev/null || true
  [ "$t" = script_fuzz ] && cp -n tests/data/nasty/* "$corpus/" 2>/dev/null || true
  echo "fuzzing $t for $seconds s"
  status=0
  "./build-fuzz/fuzz/$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 \
    -max_len=8192 -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/ "$corpus" \
    > "build-fuzz/$t.log" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|SUMMARY|==[0-9]+==ERROR)' "build-fuzz/$t.log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 40 "build-fuzz/$t.log" >&2
    echo "fuzz: $t found a problem (exit $status); the input is in build-fuzz/artifacts/" >&2
    exit 1
  fi
done
