# shellcheck shell=bash
# Shared by the scripts that set up a network share on this machine for the
# tests and the benchmarks (sshfs_share.sh, smb_share.sh, rclone_share.sh):
# sourced, not run. Nothing here exits; the callers decide what a failure
# means.

# listening PORT: whether something listens on 127.0.0.1:PORT.
listening() {
  local hex
  hex=$(printf '%04X' "$1")
  awk -v a="0100007F:$hex" '$2 == a && $4 == "0A" { found = 1 } END { exit !found }' /proc/net/tcp
}

# await_listening PID PORT SECONDS: waits until the process PID listens on
# PORT of 127.0.0.1; when it ends first, or does not within SECONDS, ends it
# and fails.
await_listening() {
  local deadline=$((SECONDS + $3))
  while kill -0 "$1" 2>/dev/null && ! listening "$2" && [ $SECONDS -lt $deadline ]; do
    sleep 0.05
  done
  if kill -0 "$1" 2>/dev/null && listening "$2"; then
    return 0
  fi
  kill "$1" 2>/dev/null || true
  return 1
}

# free_port: a port nobody listens on; should another process take it before
# the server does, the server fails and the caller's next try picks another.
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 30000))
    listening "$port" || break
  done
  echo "$port"
}

# fuse_usable: whether FUSE file systems can be mounted here; prints why not.
fuse_usable() {
  if ! command -v fusermount3 >/dev/null; then
    echo "no fusermount3 (package fuse3)"
    return 1
  fi
  if [ ! -c /dev/fuse ] || [ ! -r /dev/fuse ] || [ ! -w /dev/fuse ]; then
    echo "no usable /dev/fuse"
    return 1
  fi
}

# mounted MNT: whether a FUSE file system is mounted at MNT. Read from the
# mount table rather than by looking at MNT, which hangs while the file
# system's server does not answer.
mounted() {
  grep -qs " $1 fuse" /proc/self/mounts
}

# unmount MNT: unmounts the FUSE file system at MNT; lazily when it is busy,
# so that it is gone from MNT even while processes still use it.
unmount() {
  if mounted "$1" || mountpoint -q "$1" 2>/dev/null; then
    fusermount3 -u "$1" 2>/dev/null || fusermount3 -uz "$1" 2>/dev/null \
      || umount -l "$1" 2>/dev/null || true
  fi
}

# process_tree PID: PID and every process below it, one a line, parents first.
process_tree() {
  local child
  echo "$1"
  for child in $(pgrep -P "$1" 2>/dev/null); do
    process_tree "$child"
  done
}

# ours PID MARKER: whether process PID still runs and its command line holds
# MARKER (a path in the share's folder), that is, whether it is still the one
# we started and not another that has since been given its process id.
ours() {
  [ -n "$1" ] && tr '\0' ' ' 2>/dev/null <"/proc/$1/cmdline" | grep -qF -- "$2"
}

# end_processes PID...: ends the processes, paused ones too (a stopped
# process takes SIGTERM only once it goes on), and kills those still there
# after 5 s.
end_processes() {
  [ $# -gt 0 ] || return 0
  local pid left
  kill -TERM "$@" 2>/dev/null || true
  kill -CONT "$@" 2>/dev/null || true
  for _ in $(seq 50); do
    left=""
    for pid in "$@"; do
      kill -0 "$pid" 2>/dev/null && left=1 && break
    done
    [ -n "$left" ] || return 0
    sleep 0.1
  done
  kill -KILL "$@" 2>/dev/null || true
}

# end_started PIDFILE MARKER: ends the process whose id PIDFILE holds, with
# every process below it, when it is still ours (see ours); removes PIDFILE.
end_started() {
  [ -f "$1" ] || return 0
  local pid
  pid=$(cat "$1")
  if ours "$pid" "$2"; then
    # shellcheck disable=SC2046 # one process id a word
    end_processes $(process_tree "$pid")
  fi
  rm -f "$1"
}

# resume_started PIDFILE MARKER: lets the process whose id PIDFILE holds and
# those below it go on, should a test have paused them.
resume_started() {
  [ -f "$1" ] || return 0
  local pid
  pid=$(cat "$1")
  if ours "$pid" "$2"; then
    # shellcheck disable=SC2046 # one process id a word
    kill -CONT $(process_tree "$pid") 2>/dev/null || true
  fi
}
