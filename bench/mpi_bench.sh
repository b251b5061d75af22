#!/usr/bin/env bash
# The search across MPI ranks on this machine: quorvant-cli with 1 and 2 threads
# against quorvant-mpi on 1, 2 and 4 ranks of one thread each (4 ranks on a 2-core
# machine are oversubscribed: they share the cores). Checks that every run lists the
# same, prints the best of three wall-clock times of each as a table, then the
# per-part costs rank 0 recorded (QUORVANT_MPI_STATS) and the scaling they project.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
runs="${QUORVANT_BENCH_RUNS:-3}"
cli="$build/src/cli/quorvant-cli"
mpi="$build/src/cli/quorvant-mpi"
export OMPI_MCA_plm=isolated OMPI_MCA_btl=self,vader OMPI_MCA_pml=ob1
export OMPI_MCA_btl_vader_single_copy_mechanism=none
root=()
[ "$(id -u)" -eq 0 ] && root=(--allow-run-as-root)
mpirun=(mpirun --oversubscribe "${root[@]}")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

best() {  # best wall-clock time of $runs runs, with the processor time of that run
  local best="" cpu=""
  for _ in $(seq "$runs"); do
    local start end t
    start=$(date +%s.%N)
    /usr/bin/time -f "%U %S" -o "$scratch/time" "$@" > "$scratch/out"
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || (( $(echo "$t < $best" | bc -l) )); then
      best=$t
      cpu=$(awk '{ print $1 + $2 }' "$scratch/time")
    fi
  done
  printf '%.2f s (%.2f)' "$best" "$cpu"
}

echo "Wall-clock seconds, best of $runs, and in brackets the processor seconds of that run"
echo "(all ranks, mpirun included). Load average before: $(cut -d' ' -f1-3 /proc/loadavg)."
echo
echo "| problem | grid points | cli, 1 thread | cli, 2 threads | mpi, 1 rank | mpi, 2 ranks | mpi, 4 ranks (oversubscribed) |"
echo "|---|---:|---:|---:|---:|---:|---:|"
for case in "himmelblau bench/problems/himmelblau4000.zvx 4001^2" \
            "separable6 bench/problems/separable6x12.zvx 13^6"; do
  set -- $case
  name=$1 file=$2 points=$3
  row="| $name | $points"
  t=$(best "$cli" --explore --threads 1 "$file"); cp "$scratch/out" "$scratch/expected"; row+=" | $t"
  t=$(best "$cli" --explore --threads 2 "$file"); cmp -s "$scratch/out" "$scratch/expected"; row+=" | $t"
  for n in 1 2 4; do
    rm -f "$scratch/stats-$name-$n"
    t=$(QUORVANT_MPI_STATS="$scratch/stats-$name-$n" \
        best "${mpirun[@]}" -x QUORVANT_MPI_STATS -n "$n" "$mpi" --explore --threads 1 "$file")
    if ! cmp -s "$scratch/out" "$scratch/expected"; then
      echo "$name: quorvant-mpi on $n ranks lists something else than quorvant-cli" >&2
      exit 1
    fi
    row+=" | $t"
  done
  echo "$row |"
done

echo
echo "Per-part costs (last run of each, from QUORVANT_MPI_STATS):"
echo
echo "| problem | ranks | parts | points a part | search a part (mean) | rank 0 per part (commit, messages) | waited | wall |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|"
for f in "$scratch"/stats-*; do
  [ -s "$f" ] || continue
  name=$(basename "$f" | cut -d- -f2); n=$(basename "$f" | cut -d- -f3)
  # The last run in the file: its header, then its parts.
  awk -v name="$name" -v n="$n" '
    $1 == "run" { parts = $4; size = $6; total = $8; wall = $12; waited = $14; sum = 0; count = 0 }
    $1 == "part" { sum += $6; count++ }
    END {
      busy = wall - waited; if (busy < 0) busy = 0
      printf "| %s | %s | %d | %d | %.1f ms | %.2f ms | %.2f s | %.2f s |\n", name, n, parts, size,
             1000 * sum / count, 1000 * busy / parts, waited, wall
      # The 2-rank run (one thread a core) gives the costs the projection starts from.
      if (n == 2) printf "%s %.6f %.6f %d %d\n", name, sum, busy / parts, parts, total > "/dev/stderr"
    }' "$f"
done 2> "$scratch/projection"

echo
echo "Projected wall time of the search (start-up excluded) on W threads in all, from the"
echo "2-rank costs: the parts as the run cuts them for W (total / 8W points, 4096 to 2^22),"
echo "searched at the measured cost per point, while rank 0 spends its measured time on"
echo "each part; the slower of the two, plus the last part:"
echo
echo "| problem | W = 1 | 2 | 4 | 8 | 16 | 64 | 256 |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|"
awk '{
  name = $1; work = $2; commit = $3; total = $5
  row = "| " name
  split("1 2 4 8 16 64 256", ws, " ")
  for (i = 1; i <= 7; i++) {
    w = ws[i]
    size = int(total / (8 * w)); if (size < 4096) size = 4096; if (size > 4194304) size = 4194304
    if (w == 1) size = 65536
    parts = int((total + size - 1) / size)
    t = work / w; c = commit * parts; if (w > 1 && c > t) t = c
    t += work / parts
    row = row sprintf(" | %.2f s", t)
  }
  print row " |"
}' "$scratch/projection"
