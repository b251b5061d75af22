#!/usr/bin/env bash
# Builds Quorvant and runs every test: the optimised build, then the Qt-free
# libraries and their tests again under AddressSanitizer and UndefinedBehaviorSanitizer,
# then a minute of fuzzing for each fuzz target.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
./scripts/package_test.sh build

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVANT_CORE_ONLY=ON -DQUORVANT_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j "$jobs"
ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

./scripts/fuzz.sh all "${QUORVANT_FUZZ_SECONDS:-60}"
