#!/usr/bin/env bash
# Whole Explore runs: quorvant-cli (process start included), at one thread and at one
# per core, against a plain native walk with the formula compiled in (explore_native:
# the grid test's 3n evaluations at every grid point, nothing reused). Checks that all
# list the same, then prints the best of three wall-clock times of each as a table row.
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

threads=$(nproc)
echo "| problem | grid points | native walk | quorvant-cli, 1 thread | ratio | $threads threads | speed-up |"
echo "|---|---:|---:|---:|---:|---:|---:|"
for case in "himmelblau bench/problems/himmelblau2000.zvx 2001 x 2001" \
            "sincosexp bench/problems/sincosexp2000.zvx 2001 x 2001" \
            "separable6 bench/problems/separable6.zvx 9^6" \
            "bowl10 bench/problems/bowl10.zvx 5^10"; do
  set -- $case
  name=$1 file=$2; shift 2
  if ! diff <("$native" "$name" "$file") <("$cli" --threads 1 --explore "$file") > /dev/null ||
     ! diff <("$cli" --threads 1 --explore "$file") <("$cli" --threads "$threads" --explore "$file") > /dev/null; then
    echo "$name: the native walk and quorvant-cli (1 or $threads threads) list different results" >&2
    exit 1
  fi
  n=$(best_of_three "$native" "$name" "$file")
  one=$(best_of_three "$cli" --threads 1 --explore "$file")
  all=$(best_of_three "$cli" --threads "$threads" --explore "$file")
  printf '| %s | %s | %s s | %s s | %.2fx | %s s | %.2fx |\n' "$name" "$*" "$n" "$one" \
    "$(echo "$one / $n" | bc -l)" "$all" "$(echo "$one / $all" | bc -l)"
done
