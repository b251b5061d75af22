#!/usr/bin/env bash
# Builds the interpreter's libFuzzer target with clang and runs it for SECONDS
# (default 60), starting from the regression corpus of nasty inputs.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
seconds="${1:-60}"
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVANT_CORE_ONLY=ON -DQUORVANT_SANITIZE=ON -DQUORVANT_FUZZ=ON -DQUORVANT_BENCH=OFF >/dev/null
cmake --build build-fuzz --target script_fuzz
mkdir -p build-fuzz/corpus
cp -n tests/data/nasty/* build-fuzz/corpus/ 2>/dev/null || true
./build-fuzz/fuzz/script_fuzz -max_total_time="$seconds" -max_len=4096 build-fuzz/corpus
