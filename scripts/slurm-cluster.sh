#!/usr/bin/env bash
# A throw-away one-node Slurm cluster for tests and benchmarks, run as root on a machine
# without systemd. Installs nothing: the packages come from scripts/install-deps.sh.
#
#   scripts/slurm-cluster.sh start DIR   writes DIR/slurm.conf, starts munged (as user
#                                        munge), slurmctld and slurmd, and waits until the
#                                        node is idle; fails loudly, with the logs, if not.
#   scripts/slurm-cluster.sh stop DIR    ends the daemons that `start` recorded, by PID.
#
# Everything lives in DIR (an absolute folder; created when missing): configuration, munge
# key and socket, state, spool, logs and PID files. Clients use the cluster with
# SLURM_CONF=DIR/slurm.conf (DIR/env holds that line for `source`). Ports are picked
# free at start, so several clusters may run side by side.
set -euo pipefail

usage() {
  echo "usage: $0 start|stop DIR" >&2
  exit 2
}
[ $# -eq 2 ] || usage
action=$1
dir=$2
case "$dir" in /*) ;; *) dir="$PWD/$dir" ;; esac

# Seconds to wait for the node to turn idle; a cold start here takes one or two.
ready_timeout=${SLURM_CLUSTER_TIMEOUT:-60}

log() { echo "slurm-cluster: $*" >&2; }

show_logs() {
  local f
  for f in "$dir"/log/*.log "$dir"/munge/munged.log; do
    [ -f "$f" ] || continue
    echo "----- $f (last 40 lines)" >&2
    tail -n 40 "$f" >&2
  done
}

pid_alive() { [ -n "$1" ] && kill -0 "$1" 2>/dev/null; }

# Ends the daemons recorded in DIR/pids, politely first, then by force.
stop_cluster() {
  local pids_file="$dir/pids" name pid remaining=() i
  [ -f "$pids_file" ] || return 0
  # Reverse start order: the node daemon first, munge last, so nobody logs lost
  # authentication on the way down.
  while read -r name pid; do
    if pid_alive "$pid"; then
      kill -TERM "$pid" 2>/dev/null || true
      remaining+=("$pid")
    fi
  done < <(tac "$pids_file")
  for ((i = 0; i < 100; i++)); do
    local alive=()
    for pid in "${remaining[@]+"${remaining[@]}"}"; do
      pid_alive "$pid" && alive+=("$pid")
    done
    [ ${#alive[@]} -eq 0 ] && break
    remaining=("${alive[@]}")
    sleep 0.1
  done
  for pid in "${remaining[@]+"${remaining[@]}"}"; do
    pid_alive "$pid" && kill -KILL "$pid" 2>/dev/null || true
  done
  rm -f "$pids_file"
}

# A TCP port nobody listens on, from a range clear of the usual services.
free_port() {
  local port used
  used=$(ss -Htan 2>/dev/null | awk '{print $4}' | sed 's/.*://' | sort -u)
  while :; do
    port=$((20000 + RANDOM % 20000))
    grep -qx "$port" <<<"$used" || break
  done
  echo "$port"
}

# Reads the PID that a daemon wrote into its PID file, waiting for it to appear.
read_pid_file() {
  local file=$1 i
  for ((i = 0; i < 100; i++)); do
    if [ -s "$file" ]; then
      head -n1 "$file"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

fail_start() {
  log "FAILED: $*"
  show_logs
  stop_cluster
  exit 1
}

start_cluster() {
  [ "$(id -u)" -eq 0 ] || {
    log "must run as root"
    exit 1
  }
  local tool
  for tool in munged mungekey slurmctld slurmd sinfo srun runuser; do
    command -v "$tool" >/dev/null || {
      log "$tool not found; run scripts/install-deps.sh"
      exit 1
    }
  done
  if [ -f "$dir/pids" ]; then
    log "a cluster recorded in $dir is still up; stop it first"
    exit 1
  fi

  mkdir -p "$dir"
  # munged runs as user munge and must reach its folder through DIR.
  chmod 755 "$dir"
  rm -rf "$dir/munge" "$dir/state" "$dir/spool" "$dir/log"
  mkdir -p "$dir/munge" "$dir/state" "$dir/spool" "$dir/log"
  chown munge:munge "$dir/munge"
  # Clients must reach the socket; only munge may write here.
  chmod 755 "$dir/munge"
  : >"$dir/pids"

  local munge_dir="$dir/munge"
  mungekey --create --keyfile="$munge_dir/munge.key" --force >/dev/null 2>&1 ||
    fail_start "could not create the munge key"
  chown munge:munge "$munge_dir/munge.key"
  chmod 400 "$munge_dir/munge.key"
  runuser -u munge -- munged \
    --key-file="$munge_dir/munge.key" --socket="$munge_dir/munge.socket" \
    --pid-file="$munge_dir/munged.pid" --log-file="$munge_dir/munged.log" \
    --seed-file="$munge_dir/munged.seed" ||
    fail_start "munged did not start"
  local pid
  pid=$(read_pid_file "$munge_dir/munged.pid") || fail_start "munged wrote no PID file"
  echo "munged $pid" >>"$dir/pids"

  local host node_line ctld_port node_port
  host=$(hostname -s)
  # The node as slurmd sees this machine: its real CPUs, cores and memory.
  node_line=$(slurmd -C | head -n1)
  case "$node_line" in
    NodeName=*) ;;
    *) fail_start "slurmd -C gave no node line: $node_line" ;;
  esac
  ctld_port=$(free_port)
  node_port=$(free_port)
  while [ "$node_port" = "$ctld_port" ]; do node_port=$(free_port); done

  # Addresses are given, so that the cluster works where the host name does not resolve.
  cat >"$dir/slurm.conf" <<EOF
ClusterName=jobrunner-test
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$node_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$munge_dir/munge.socket
CredType=cred/munge
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd.log
SlurmctldDebug=info
SlurmdDebug=info
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerParameters=batch_sched_delay=0
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
ReturnToService=2
KillWait=5
$node_line NodeAddr=127.0.0.1 State=UNKNOWN
PartitionName=debug Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
  echo "export SLURM_CONF=$dir/slurm.conf" >"$dir/env"
  export SLURM_CONF="$dir/slurm.conf"

  # -i: a fresh state folder has nothing to recover.
  slurmctld -i -f "$dir/slurm.conf" || fail_start "slurmctld did not start"
  pid=$(read_pid_file "$dir/slurmctld.pid") || fail_start "slurmctld wrote no PID file"
  echo "slurmctld $pid" >>"$dir/pids"
  slurmd -f "$dir/slurm.conf" || fail_start "slurmd did not start"
  pid=$(read_pid_file "$dir/slurmd.pid") || fail_start "slurmd wrote no PID file"
  echo "slurmd $pid" >>"$dir/pids"

  local deadline=$((SECONDS + ready_timeout)) state=""
  while ((SECONDS < deadline)); do
    state=$(sinfo -h -N -o '%T' 2>/dev/null | head -n1 || true)
    [ "$state" = idle ] && break
    for name_pid in $(awk '{print $1":"$2}' "$dir/pids"); do
      pid_alive "${name_pid#*:}" || fail_start "${name_pid%%:*} exited"
    done
    sleep 0.2
  done
  [ "$state" = idle ] || fail_start "node not idle after ${ready_timeout}s (state: '${state:-none}')"
  log "up in $dir (node $host, controller port $ctld_port)"
}

case "$action" in
  start) start_cluster ;;
  stop) stop_cluster ;;
  *) usage ;;
esac
