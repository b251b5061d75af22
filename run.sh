#!/usr/bin/env bash
# Sets up, builds and starts Quorvant. The window is not built yet: until it is, this
# runs an example problem through the headless runner and says so.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target quorvant-cli
echo "The window is not built yet; running examples/himmelblau.zvx through quorvant-cli:"
echo
exec build/src/cli/quorvant-cli --explore "${1:-examples/himmelblau.zvx}"
