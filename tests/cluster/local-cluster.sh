#!/bin/sh
# A one-node Slurm cluster on this machine, for the cluster lane: run as
# root, without systemd, everything (keys, sockets, state, logs) in DIR.
#
#   sh tests/cluster/local-cluster.sh start DIR   # prints nothing; DIR/slurm.conf
#   sh tests/cluster/local-cluster.sh stop DIR    # always safe to call
#
# Commands then reach the cluster with SLURM_CONF=DIR/slurm.conf.
set -eu
action=$1
dir=$2
export SLURM_CONF="$dir/slurm.conf"

if [ "$action" = "stop" ]; then
  if [ -f "$SLURM_CONF" ]; then
    timeout 20 scontrol shutdown >/dev/null 2>&1 || true
  fi
  for daemon in slurmd slurmctld munged; do
    pidfile="$dir/$daemon.pid"
    if [ -f "$pidfile" ]; then
      pid=$(cat "$pidfile")
      # scontrol shutdown ends the Slurm daemons, munged ends when asked;
      # whatever is still there after a few seconds is killed.
      if [ "$daemon" = "munged" ]; then kill "$pid" 2>/dev/null || true; fi
      for _ in 1 2 3 4 5 6 7 8 9 10; do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.5
      done
      kill -9 "$pid" 2>/dev/null || true
    fi
  done
  exit 0
fi

mkdir -p "$dir/state" "$dir/spool" "$dir/munge"
chmod 0700 "$dir/munge"
# A key of this cluster's own; munged refuses keys others can read.
dd if=/dev/urandom of="$dir/munge/munge.key" bs=1024 count=1 2>/dev/null
chmod 0400 "$dir/munge/munge.key"
socket="$dir/munge/munge.socket"
munged --force --key-file="$dir/munge/munge.key" --socket="$socket" --pid-file="$dir/munged.pid" \
  --log-file="$dir/munged.log" --seed-file="$dir/munge/munged.seed"

host=$(hostname -s)
cat > "$SLURM_CONF" <<CONF
ClusterName=tarnwick-lane
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=${TARNWICK_SLURMCTLD_PORT:-16817}
SlurmdPort=${TARNWICK_SLURMD_PORT:-16818}
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$socket
CredType=cred/munge
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
ReturnToService=2
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=lane Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF

slurmctld -c
slurmd
# Ready when the node takes work; a minute at most.
for _ in $(seq 1 120); do
  state=$(sinfo -h -o %T 2>/dev/null || true)
  case "$state" in idle*) exit 0 ;; esac
  sleep 0.5
done
echo "local-cluster.sh: the node did not become idle; see $dir/*.log" >&2
exit 1
