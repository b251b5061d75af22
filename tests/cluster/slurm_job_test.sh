#!/usr/bin/env bash
# A real Slurm job on this machine: starts munge and a one-node Slurm (slurmctld and
# slurmd, 2 CPUs, ports on the loopback address) from a configuration written into a
# scratch folder, submits the README's batch script with sbatch (the script is taken
# from the README itself, so the two cannot drift apart), waits for the job, and
# compares its listing and saved file byte for byte with quorvant-cli's. The daemons
# it started are stopped by their process ids, whatever happens.
#   slurm_job_test.sh BIN_DIR README PROBLEM
# Exit status 0: same bytes; 77: skipped (Slurm or munge not installed, said why);
# anything else: a failure, said why.
set -euo pipefail
bin=$(cd "$1" && pwd)
readme=$2
problem=$3

for tool in munged slurmctld slurmd sbatch squeue sinfo; do
  if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "/usr/sbin/$tool" ]; then
    echo "skipped: $tool is not installed (scripts/setup.sh installs slurm-wlm and munge)"
    exit 77
  fi
done
export PATH="$bin:/usr/sbin:$PATH"

work=$(mktemp -d /tmp/quorvant-slurm.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*"
  for log in "$work"/*.log; do [ -f "$log" ] && { echo "--- $log"; tail -n 20 "$log"; }; done
  exit 1
}

# munge, with a key of its own and its socket in the scratch folder.
mkdir -p "$work/munge" "$work/state" "$work/spool" "$work/job"
chmod 700 "$work/munge"
head -c 1024 /dev/urandom >"$work/munge.key"
chmod 400 "$work/munge.key"
munged --force --key-file="$work/munge.key" --socket="$work/munge/socket" \
  --pid-file="$work/munged.pid" --log-file="$work/munged.log" --seed-file="$work/munge.seed"
for _ in $(seq 50); do [ -s "$work/munged.pid" ] && break; sleep 0.1; done
[ -s "$work/munged.pid" ] || fail "munged did not start"
pids+=("$(cat "$work/munged.pid")")

# Two free ports on the loopback address.
read -r ctld_port node_port < <(python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])')

node=$(hostname)
cat >"$work/slurm.conf" <<CONF
ClusterName=quorvanttest
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$node_port
SlurmUser=$(id -un)
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$work/munge/socket
CredType=cred/munge
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/builtin
ReturnToService=2
MpiDefault=none
JobCompType=jobcomp/none
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
SwitchType=switch/none
NodeName=$node NodeAddr=127.0.0.1 CPUs=2 State=UNKNOWN
PartitionName=test Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="$work/slurm.conf"

slurmctld -D -f "$SLURM_CONF" >"$work/slurmctld.out.log" 2>&1 &
pids+=("$!")
slurmd -D -f "$SLURM_CONF" >"$work/slurmd.out.log" 2>&1 &
pids+=("$!")
for _ in $(seq 100); do
  sinfo -h -o %t 2>/dev/null | grep -q '^idle' && break
  sleep 0.2
done
sinfo -h -o %t 2>/dev/null | grep -q '^idle' || fail "the Slurm node did not come up"

# The README's batch script, as it stands there.
awk '/^```sh$/ { block = ""; inside = 1; next }
     /^```$/ { if (inside && block ~ /#SBATCH/) { printf "%s", block; exit } inside = 0; next }
     inside { block = block $0 "\n" }' "$readme" >"$work/job/job.sh"
grep -q '^#SBATCH' "$work/job/job.sh" || fail "no batch script found in $readme"
grep -q 'problem.zvx' "$work/job/job.sh" || fail "the batch script names no problem.zvx"
cp "$problem" "$work/job/problem.zvx"
cp "$problem" "$work/cli.zvx"

# Its directives ask for 8 machines of 32 cores for two hours; this one-node cluster
# has 2 CPUs, so the command line (which overrides the directives) asks for what is here.
job=$(cd "$work/job" && sbatch --parsable --nodes=1 --ntasks-per-node=2 --cpus-per-task=1 \
  --time=5 --output="$work/job/results.txt" --export=ALL job.sh) || fail "sbatch refused the job"
state=""
for _ in $(seq 600); do
  state=$(squeue -h -j "$job" -o %T 2>/dev/null || true)
  [ -z "$state" ] && break
  sleep 0.2
done
[ -z "$state" ] || fail "the job did not end within 2 minutes (state $state)"

quorvant-cli --explore --save "$work/cli.zvx" >"$work/cli.txt" || fail "quorvant-cli failed"
cmp "$work/job/results.txt" "$work/cli.txt" || fail "the job's listing differs from quorvant-cli's"
cmp "$work/job/problem.zvx" "$work/cli.zvx" || fail "the job's saved file differs from quorvant-cli's"
echo "the Slurm job ($(grep -c . "$work/cli.txt") lines) listed and saved what quorvant-cli does"
