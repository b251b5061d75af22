#!/usr/bin/env bash
# Whole Explore runs: quorvant-cli (process start included), at one thread and at one
# per core, against two native walks with the formula compiled in (explore_native: the
# grid test's 3n evaluations at every grid point, nothing reused): the plain one through
# the search's own function interface, and the tight one (--tight: the formula inlined,
# a coordinate rounded only when it changes). Checks that all list the same, then prints
# the best of three wall-clock times of each as a table row, and the processor time
# (user + system) of the best runs of quorvant-cli.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cli="$build/src/cli/quorvant-cli"
native="$build/bench/explore_native"

# Best of three: "wall cpu" in seconds.
best_of_three() {
  local best="" cpu=""
  for _ in 1 2 3; do
    local out wall used
    out=$( { /usr/bin/env time -f '%e %U %S' "$@" > /dev/null; } 2>&1 | tail -n 1)
    read -r wall user sys <<< "$out"
    used=$(echo "$user + $sys" | bc -l)
    if [ -z "$best" ] || (( $(echo "$wall < $best" | bc -l) )); then best=$wall cpu=$used; fi
  done
  echo "$best $cpu"
}

threads=$(nproc)
echo "| problem | grid points | native walk | tight native walk | quorvant-cli, 1 thread (cpu) | ratio to native | ratio to tight | $threads threads (cpu) | speed-up |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|"
for case in "himmelblau bench/problems/himmelblau4000.zvx 4001 x 4001" \
            "sincosexp bench/problems/sincosexp4000.zvx 4001 x 4001" \
            "separable6 bench/problems/separable6x12.zvx 13^6" \
            "bowl10 bench/problems/bowl10.zvx 5^10"; do
  set -- $case
  name=$1 file=$2; shift 2
  if ! diff <("$native" "$name" "$file") <("$cli" --threads 1 --explore "$file") > /dev/null ||
     ! diff <("$native" --tight "$name" "$file") <("$cli" --threads 1 --explore "$file") > /dev/null ||
     ! diff <("$cli" --threads 1 --explore "$file") <("$cli" --threads "$threads" --explore "$file") > /dev/null; then
    echo "$name: the native walks and quorvant-cli (1 or $threads threads) list different results" >&2
    exit 1
  fi
  read -r n _ <<< "$(best_of_three "$native" "$name" "$file")"
  read -r t _ <<< "$(best_of_three "$native" --tight "$name" "$file")"
  read -r one onecpu <<< "$(best_of_three "$cli" --threads 1 --explore "$file")"
  read -r all allcpu <<< "$(best_of_three "$cli" --threads "$threads" --explore "$file")"
  printf '| %s | %s | %.2f s | %.2f s | %.2f s (%.2f s) | %.2fx | %.2fx | %.2f s (%.2f s) | %.2fx |\n' \
    "$name" "$*" "$n" "$t" "$one" "$onecpu" "$(echo "$one / $n" | bc -l)" \
    "$(echo "$one / $t" | bc -l)" "$all" "$allcpu" "$(echo "$one / $all" | bc -l)"
done
