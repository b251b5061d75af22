#!/usr/bin/env bash
# Takes the README's pictures of the running program under a virtual X server (Debian's
# xvfb), with a window manager (openbox) so the windows have their title bars:
#   tools/xvfb_screenshots.sh [OUTDIR]      (default: screenshots/)
# Builds the screenshot tool (-DQUORVANT_TOOLS=ON) in build-tools/ first.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath "${1:-screenshots}")
for tool in Xvfb openbox; do
  command -v "$tool" >/dev/null || { echo "needs $tool: apt-get install xvfb openbox" >&2; exit 2; }
done
cmake -S . -B build-tools -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANT_TOOLS=ON >/dev/null
cmake --build build-tools -j2 --target window_screenshot >/dev/null

display=:77
Xvfb "$display" -screen 0 1280x820x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
scratch=$(mktemp -d)
cleanup() {
  kill "$wm" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
sleep 1
DISPLAY=$display openbox >/dev/null 2>&1 &
wm=$!
sleep 1

# A copy, so the example stays as it is; its name is what the title shows.
cp examples/himmelblau.zvx "$scratch/himmelblau.zvx"
# Settings of the pictures' own, never the user's.
XDG_CONFIG_HOME="$scratch/config" DISPLAY=$display QT_QPA_PLATFORM=xcb \
  build-tools/src/app/window_screenshot --tour "$scratch/himmelblau.zvx" "$out"
echo "Saved main-window.png, close-prompt.png and himmelblau-plot.png in $out"
