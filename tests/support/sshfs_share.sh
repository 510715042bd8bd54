#!/usr/bin/env bash
# A network share on this machine: an sshd of our own on a free port of
# 127.0.0.1 exports DIR/export, and sshfs mounts it at DIR/mnt.
#
#   tests/support/sshfs_share.sh start DIR
#   tests/support/sshfs_share.sh stop DIR
#
# start prints nothing and exits 0 once the share is mounted; it exits 77 with
# a one-line reason on standard error when sshd, sshfs or FUSE cannot be used
# here. stop unmounts and ends the sshd; it may be called any number of times.
# SSHFS_OPTS adds mount options (for example "-o cache=no").
#
# The system's ssh and sshd configuration is not read or changed: the host key,
# the user key, sshd_config and known-hosts handling all live in DIR. sshd runs
# as the user calling this script and lets in only that user's own new key.
# As root, sshd needs its privilege-separation folder /run/sshd, which the
# system's service would make at start; it is made when missing.
set -euo pipefail

usage() {
  echo "usage: $0 start|stop DIR" >&2
  exit 2
}
[ $# -eq 2 ] || usage
action=$1
dir=$2
case $action in start | stop) ;; *) usage ;; esac
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

unusable() {
  echo "sshfs share unusable: $*" >&2
  exit 77
}

stop() {
  if mountpoint -q "$dir/mnt" 2>/dev/null || grep -qs " $dir/mnt fuse" /proc/self/mounts; then
    fusermount3 -u "$dir/mnt" 2>/dev/null || fusermount3 -uz "$dir/mnt" 2>/dev/null \
      || umount -l "$dir/mnt" 2>/dev/null || true
  fi
  if [ -f "$dir/sshd.pid" ]; then
    local pid
    pid=$(cat "$dir/sshd.pid")
    # Only our own sshd: the process must still be the one started on DIR's
    # configuration. Its sessions are its children and outlive it otherwise.
    if [ -n "$pid" ] && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF "$dir/sshd_config"; then
      pkill -TERM -P "$pid" 2>/dev/null || true
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
      done
      kill -9 "$pid" 2>/dev/null || true
    fi
    rm -f "$dir/sshd.pid"
  fi
}

if [ "$action" = stop ]; then
  stop
  exit 0
fi

sshd=$(command -v sshd || echo /usr/sbin/sshd)
[ -x "$sshd" ] || unusable "no sshd (package openssh-server)"
command -v sshfs >/dev/null || unusable "no sshfs (package sshfs)"
command -v fusermount3 >/dev/null || unusable "no fusermount3 (package fuse3)"
[ -c /dev/fuse ] && [ -r /dev/fuse ] && [ -w /dev/fuse ] || unusable "no usable /dev/fuse"
sftp_server=""
for candidate in /usr/lib/openssh/sftp-server /usr/libexec/openssh/sftp-server /usr/lib/ssh/sftp-server; do
  [ -x "$candidate" ] && sftp_server=$candidate && break
done
[ -n "$sftp_server" ] || unusable "no sftp-server (package openssh-sftp-server)"
if [ "$(id -u)" -eq 0 ] && [ ! -d /run/sshd ]; then
  mkdir -p -m 0755 /run/sshd || unusable "cannot make /run/sshd"
fi

stop # a share left over on DIR
mkdir -p "$dir/export" "$dir/mnt"
rm -f "$dir/host_key" "$dir/host_key.pub" "$dir/user_key" "$dir/user_key.pub"
ssh-keygen -q -t ed25519 -N "" -f "$dir/host_key" >/dev/null || unusable "cannot make a host key"
ssh-keygen -q -t ed25519 -N "" -f "$dir/user_key" >/dev/null || unusable "cannot make a user key"
cp "$dir/user_key.pub" "$dir/authorized_keys"
chmod 600 "$dir/authorized_keys"

# Whether something listens on 127.0.0.1:PORT.
listening() {
  local hex
  hex=$(printf '%04X' "$1")
  awk -v a="0100007F:$hex" '$2 == a && $4 == "0A" { found = 1 } END { exit !found }' /proc/net/tcp
}

# A port nobody listens on; should another process take it before sshd
# does, sshd fails and the next try picks another.
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 30000))
    listening "$port" || break
  done
  echo "$port"
}

started=""
for _ in 1 2 3; do
  port=$(free_port)
  cat >"$dir/sshd_config" <<EOF
ListenAddress 127.0.0.1:$port
HostKey $dir/host_key
PidFile $dir/sshd.pid
AuthorizedKeysFile $dir/authorized_keys
AllowUsers $(id -un)
PermitRootLogin prohibit-password
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
Subsystem sftp $sftp_server
LogLevel ERROR
EOF
  rm -f "$dir/sshd.pid"
  # -D: sshd stays in the foreground, so its process id is known at once,
  # without waiting for a pid file that a failed start never writes.
  "$sshd" -D -f "$dir/sshd_config" -E "$dir/sshd.log" </dev/null >/dev/null 2>&1 &
  pid=$!
  echo "$pid" >"$dir/sshd.pid"
  deadline=$((SECONDS + 10))
  while kill -0 "$pid" 2>/dev/null && ! listening "$port" && [ $SECONDS -lt $deadline ]; do
    sleep 0.05
  done
  if kill -0 "$pid" 2>/dev/null && listening "$port"; then
    started=1
    break
  fi
  kill "$pid" 2>/dev/null || true
  rm -f "$dir/sshd.pid"
done
[ -n "$started" ] || unusable "sshd did not start: $(tail -n 1 "$dir/sshd.log" 2>/dev/null)"

# shellcheck disable=SC2086 # SSHFS_OPTS is a list of options
if ! sshfs "$(id -un)@127.0.0.1:$dir/export" "$dir/mnt" -p "$port" \
  -o IdentityFile="$dir/user_key" -o IdentitiesOnly=yes -o StrictHostKeyChecking=no \
  -o UserKnownHostsFile=/dev/null -o LogLevel=ERROR -o BatchMode=yes ${SSHFS_OPTS:-} \
  2>"$dir/sshfs.log"; then
  stop
  unusable "sshfs could not mount: $(head -n 1 "$dir/sshfs.log")"
fi
echo "$port" >"$dir/port"
