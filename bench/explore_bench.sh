#!/usr/bin/env bash
# Whole Explore runs: quorvant-cli (process start included) against the same run
# with the formula compiled in (explore_native). Checks that both list the same, then
# prints the best of three wall-clock times of each as a table row.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cli="$build/src/cli/quorvant-cli"
native="$build/bench/explore_native"

best_of_three() {
  local best=""
  for _ in 1 2 3; do
    local start end t
    start=$(date +%s.%N)
    "$@" > /dev/null
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || (( $(echo "$t < $best" | bc -l) )); then best=$t; fi
  done
  printf '%.2f' "$best"
}

echo "| problem | grid points | native walk | quorvant-cli | ratio |"
echo "|---|---:|---:|---:|---:|"
for case in "himmelblau bench/problems/himmelblau2000.zvx 2001 x 2001" \
            "sincosexp bench/problems/sincosexp2000.zvx 2001 x 2001" \
            "separable6 bench/problems/separable6.zvx 9^6"; do
  set -- $case
  name=$1 file=$2; shift 2
  if ! diff <("$native" "$name" "$file") <("$cli" --explore "$file") > /dev/null; then
    echo "$name: the native run and quorvant-cli list different results" >&2
    exit 1
  fi
  n=$(best_of_three "$native" "$name" "$file")
  q=$(best_of_three "$cli" --explore "$file")
  ratio=$(echo "$q / $n" | bc -l)
  printf '| %s | %s | %s s | %s s | %.1fx |\n' "$name" "$*" "$n" "$q" "$ratio"
done
