#!/usr/bin/env bash
# Runs the test command as CI would on a fresh Debian 12 machine with nothing installed: a
# minimal Debian 12 made by debootstrap in a folder, the committed HEAD of this clone
# cloned into it, and `CI=true bash .ci/run </dev/null` run there as root, installs and
# all. Prints how long each part took (wall and processor seconds).
#   Usage (as root): scripts/fresh-machine.sh [--prepare] [FOLDER]
#     FOLDER     where the fresh system goes (default /tmp/jobrunner-fresh); emptied first
#     --prepare  only make the bare system of the cache folder, if it is not there yet
# The bare system (debootstrap's minbase variant, nothing else) is made once and kept as a
# tar file in a cache folder outside the clone, $JOBRUNNER_FRESH_CACHE or
# ~/.cache/jobrunner/fresh-machine; later tries unpack it. Nothing else is kept between
# tries: the run inside starts with empty caches, as on a new machine. The /proc, /sys and
# /dev of this machine are bound into the folder for the run and unmounted at the end, and
# whatever the run left running in the folder is ended.
set -euo pipefail
source "$(dirname "$0")/step-timings.sh"
repo=$(cd "$(dirname "$0")/.." && pwd)
prepare_only=false
if [ "${1:-}" = "--prepare" ]; then
  prepare_only=true
  shift
fi
root=${1:-/tmp/jobrunner-fresh}
log="$root.log"
cache=${JOBRUNNER_FRESH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/jobrunner/fresh-machine}
bare="$cache/bookworm-minbase.tar"
mirror=http://deb.debian.org/debian

if [ "$(id -u)" -ne 0 ]; then
  echo "fresh-machine: run as root (debootstrap, chroot and mount need it)" >&2
  exit 1
fi

step "bare Debian 12"
if [ ! -s "$bare" ]; then
  command -v debootstrap >/dev/null ||
    { apt-get update -qq && apt-get install -y -qq --no-install-recommends debootstrap; }
  mkdir -p "$cache"
  rm -rf "$cache/bare.partial"
  debootstrap --variant=minbase bookworm "$cache/bare.partial" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
    { tail -n 30 "$cache/debootstrap.log" >&2; echo "fresh-machine: debootstrap failed" >&2; exit 1; }
  # The same package sources as a Debian 12 machine: the updates and the security archive.
  rm -f "$cache/bare.partial/etc/apt/sources.list"
  cat >"$cache/bare.partial/etc/apt/sources.list.d/debian.sources" <<'SOURCES'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  tar -C "$cache/bare.partial" -cf "$bare.partial" .
  mv "$bare.partial" "$bare"
  rm -rf "$cache/bare.partial"
fi
step_done
if $prepare_only; then print_timings "Fresh machine timings"; exit 0; fi

mounted=()
cleanup() {
  # Whatever the run started and left (a wine server, the Slurm daemons) holds the mounts.
  local pid
  for pid in /proc/[0-9]*; do
    if [ "$(readlink "$pid/root" 2>/dev/null)" = "$root" ]; then
      kill -KILL "${pid#/proc/}" 2>/dev/null || true
    fi
  done
  sleep 1
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount -R "${mounted[$i]}" 2>/dev/null || umount -R -l "${mounted[$i]}" || true
  done
}
trap cleanup EXIT

step "unpack and clone"
if mountpoint -q "$root/proc" 2>/dev/null; then
  echo "fresh-machine: $root is in use (its /proc is mounted)" >&2
  exit 1
fi
rm -rf "$root"
mkdir -p "$root"
tar -C "$root" -xf "$bare"
cp /etc/resolv.conf "$root/etc/resolv.conf"
commit=$(git -C "$repo" rev-parse HEAD)
git clone --quiet --no-hardlinks "$repo" "$root/work/jobrunner"
git -C "$root/work/jobrunner" checkout --quiet --detach "$commit"
for folder in proc sys dev; do
  mount --rbind "/$folder" "$root/$folder"
  mount --make-rslave "$root/$folder"
  mounted+=("$root/$folder")
done
step_done

step "CI=true bash .ci/run"
set +e
chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 CI=true \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  bash -c 'cd /work/jobrunner && bash .ci/run' </dev/null 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e
step_done
echo "fresh-machine: commit $commit, .ci/run ended with status $status (log: $log)"
print_timings "Fresh machine timings"
exit "$status"
