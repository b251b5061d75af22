#!/usr/bin/env bash
# Sets up, builds and starts Quorvant. On a machine without a display it runs an
# example problem through the headless runner instead, and says so.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target quorvant quorvant-cli quorvant-python
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/src/app/quorvant
fi
echo "No display found: running examples/himmelblau.zvx through quorvant-cli instead."
echo "(Start the window with build/src/app/quorvant on a desktop.)"
echo
exec build/src/cli/quorvant-cli --explore examples/himmelblau.zvx
