#!/usr/bin/env bash
# slurm_test.sh -- the README's Slurm job array script, run on a Slurm of one node started here, makes the film of one run
#
#   tests/e2e/slurm_test.sh SOURCE_DIR RENDER
#
# Starts munged, slurmctld and slurmd of its own (its own key, sockets,
# ports, state and spool folders), submits the script the README shows
# with sbatch --wait, and compares the frames with a single run's. The
# daemons it started are stopped by their ids on every way out. Starting
# them needs root and Debian's slurm-wlm and munge; without them the test
# is skipped (status 77), except under CI=true, where it fails. Where slurmd
# cannot run at all (no cgroup file system on /sys/fs/cgroup, as in a
# chroot) the test says why and is skipped, under CI too; a daemon that ends
# while the test waits for it ends the wait at once, with its log.
set -u
src=$1
render=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
tmp=$(mktemp -d)
chmod 700 "$tmp"
daemons=()
cleanup() {
    local k
    for (( k = ${#daemons[@]} - 1; k >= 0; k-- )); do kill "${daemons[k]}" 2>/dev/null; done
    for (( k = ${#daemons[@]} - 1; k >= 0; k-- )); do wait "${daemons[k]}" 2>/dev/null; done
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
logs() { local f; for f in "$tmp"/*.log; do echo "== $f" >&2; tail -n 20 "$f" >&2; done; }
fail() { echo "FAIL: $*" >&2; logs; exit 1; }
skip() {
    [ "${CI:-}" = true ] && { echo "FAIL: $1 (under CI this test must run)" >&2; exit 1; }
    echo "SKIP: $1"
    exit 77
}
# The machine itself cannot run the test, whatever is installed.
cannot_run() { echo "SKIP: $1"; exit 77; }
now_ms() { date +%s%3N; }

[ "$(id -u)" = 0 ] || skip "starting Slurm's daemons needs root"
for program in munged mungekey slurmctld slurmd sbatch sinfo; do
    command -v "$program" >/dev/null || skip "$program is missing (Debian packages slurm-wlm and munge)"
done
# slurmd reads its cgroup version off /sys/fs/cgroup at start, even with the
# plugins below that use none: cgroup v2 there, or a tmpfs holding v1
# hierarchies; anything else (a chroot's plain folder) stops it.
cgroup_fs() {
    local d
    case "$(stat -fc %T /sys/fs/cgroup 2>/dev/null)" in
        cgroup2fs) return 0 ;;
        tmpfs) for d in /sys/fs/cgroup/*/; do [ "$(stat -fc %T "$d" 2>/dev/null)" = cgroupfs ] && return 0; done ;;
    esac
    return 1
}
cgroup_fs || cannot_run "slurmd cannot run here: /sys/fs/cgroup holds no cgroup file system (it is $(stat -fc %T \
    /sys/fs/cgroup 2>&1)), as in a chroot or a container without one"

# The README's script: the indented block that begins with #!/bin/sh.
awk '/^    #!\/bin\/sh$/ { on = 1 } on && /^$/ { exit } on { print substr($0, 5) }' "$src/README.md" >"$tmp/film.sbatch"
grep -q -- '--part \$((SLURM_ARRAY_TASK_ID + 1))/\$SLURM_ARRAY_TASK_COUNT' "$tmp/film.sbatch" ||
    fail "no Slurm script with --part in README.md: $(cat "$tmp/film.sbatch")"

# Two free ports in a row, picked at random: nothing answers on them.
free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
for _ in $(seq 50); do
    port=$(( 20000 + RANDOM % 30000 ))
    free "$port" && free $((port + 1)) && break
done

began=$(now_ms)
host=$(hostname -s)
mkdir "$tmp/state" "$tmp/spool"
mungekey --create --keyfile="$tmp/munge.key" || fail "mungekey could not make a key"
munged --force --foreground --socket="$tmp/munge.socket" --key-file="$tmp/munge.key" --pid-file="$tmp/munged.pid" \
    --log-file="$tmp/munged.log" --seed-file="$tmp/munged.seed" >>"$tmp/munged.log" 2>&1 &
daemons+=($!)
# The node is this machine, at 127.0.0.1 whether or not its name resolves.
# A batch job is scheduled at once when the one before ends, not up to
# three seconds later, as by default.
cat >"$tmp/slurm.conf" <<EOF
ClusterName=rootzoomtest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
AuthType=auth/munge
AuthInfo=socket=$tmp/munge.socket
CredType=cred/munge
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/slurmctld.log
SlurmdLogFile=$tmp/slurmd.log
SlurmUser=root
SlurmdUser=root
MailProg=/bin/true
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
MpiDefault=none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SchedulerParameters=batch_sched_delay=0
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=rootzoomtest Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$tmp/slurm.conf
# The socket first, so that the daemons find munged.
for _ in $(seq 100); do [ -S "$tmp/munge.socket" ] && break; sleep 0.05; done
slurmctld -D -i >>"$tmp/slurmctld.log" 2>&1 &
daemons+=($!)
slurmd -D >>"$tmp/slurmd.log" 2>&1 &
daemons+=($!)
# Each daemon is watched while the node comes up: one that ended is said at
# once, with its log, rather than after the wait.
names=(munged slurmctld slurmd)
for _ in $(seq 300); do
    sinfo -h -o %T 2>/dev/null | grep -qx idle && break
    for k in 0 1 2; do
        kill -0 "${daemons[k]}" 2>/dev/null && continue
        grep -qi 'cgroup' "$tmp/${names[k]}.log" &&
            cannot_run "${names[k]} cannot run here: $(grep -i cgroup "$tmp/${names[k]}.log" | tail -n 1)"
        fail "${names[k]} ended while the node came up"
    done
    sleep 0.1
done
sinfo -h -o %T 2>/dev/null | grep -qx idle || fail "the Slurm node is not idle after 30 s: $(sinfo 2>&1)"
echo "ok: Slurm up in $(( $(now_ms) - began )) ms: $(sinfo -h -o '%P %N %c CPUs %T')"

film=(--aim --zoom-in 40 --every 2 --width 64 1.4 0.6 0.6 0 60)
"$render" --frames "$tmp/single" "${film[@]}" || fail "the single run failed"
# The script asks for two CPUs a task; a node of one has to give one.
fewer=()
[ "$(nproc)" -lt 2 ] && fewer=(--cpus-per-task=1)
submitted=$(now_ms)
(cd "$tmp" && PATH="$(dirname "$render"):$PATH" timeout 240 sbatch --wait "${fewer[@]}" film.sbatch \
    --frames "$tmp/slurm" "${film[@]}") >"$tmp/sbatch.log" 2>&1 || fail "sbatch --wait: status $?: $(cat "$tmp/sbatch.log")"
tasks=$(ls "$tmp"/slurm-*.out | wc -l)
[ "$(ls "$tmp/single")" = "$(ls "$tmp/slurm")" ] || fail "the array made $(ls "$tmp/slurm" | tr '\n' ' ')"
for f in "$tmp/single"/frame-*.png; do
    cmp -s "$f" "$tmp/slurm/$(basename "$f")" || fail "frame $(basename "$f") of the array differs from the single run's"
done
echo "ok: $tasks array tasks made the single run's $(ls "$tmp/single" | wc -l) frames in $(( $(now_ms) - submitted )) ms"
