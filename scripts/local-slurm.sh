#!/usr/bin/env bash
# Starts or stops a one-node Slurm cluster on this machine (munged, slurmctld and slurmd, every
# file under DIR), for trying `nimbra farm slurm` and for the farm tests. Needs root and
# Debian's slurm-wlm and munge (scripts/setup.sh installs them).
#
#   scripts/local-slurm.sh start DIR   starts it; then: export SLURM_CONF=DIR/slurm.conf
#   scripts/local-slurm.sh stop DIR    stops it
set -euo pipefail

usage() { echo "usage: $0 start|stop DIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
action=$1
dir=$(realpath -m "$2")

stop() {
    for daemon in slurmd slurmctld munged; do
        pidfile="$dir/run/$daemon.pid"
        [ -f "$pidfile" ] || continue
        pid=$(cat "$pidfile")
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null || true
        rm -f "$pidfile"
    done
}

start() {
    if [ "$(id -u)" -ne 0 ]; then echo "local-slurm: needs root" >&2; exit 1; fi
    for tool in munged slurmctld slurmd sinfo; do
        command -v "$tool" >/dev/null || { echo "local-slurm: $tool not found (install slurm-wlm and munge)" >&2; exit 1; }
    done
    mkdir -p "$dir"/{state,spool,log,run,munge}
    chmod 700 "$dir/munge"
    [ -f "$dir/munge/munge.key" ] || { head -c 1024 /dev/urandom > "$dir/munge/munge.key"; chmod 400 "$dir/munge/munge.key"; }
    munged --force --key-file="$dir/munge/munge.key" --socket="$dir/munge/munge.socket" \
        --pid-file="$dir/run/munged.pid" --log-file="$dir/log/munged.log" \
        --seed-file="$dir/munge/munged.seed"

    # Ports of their own, so that several clusters (or a real one) can run side by side.
    local port=$((20000 + ($$ * 2) % 20000))
    local host
    host=$(hostname -s)
    cat > "$dir/slurm.conf" <<CONF
ClusterName=nimbralocal
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$dir/munge/munge.socket
CredType=cred/munge
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/run/slurmctld.pid
SlurmdPidFile=$dir/run/slurmd.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
ReturnToService=2
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=local Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF
    export SLURM_CONF="$dir/slurm.conf"
    slurmctld -f "$SLURM_CONF" -i
    slurmd -f "$SLURM_CONF"
    for _ in $(seq 150); do
        if [ "$(sinfo -h -o %t 2>/dev/null)" = "idle" ]; then
            echo "export SLURM_CONF=$SLURM_CONF"
            return 0
        fi
        sleep 0.2
    done
    echo "local-slurm: the node did not come up; logs in $dir/log" >&2
    stop
    exit 1
}

case "$action" in
    start) start ;;
    stop) stop ;;
    *) usage ;;
esac
