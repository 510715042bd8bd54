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
# DIR/root then names the folder that shows DIR/export (here DIR/mnt itself).
#
# The system's ssh and sshd configuration is not read or changed
# (sshd_server.sh has the details).
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

# shellcheck source=tests/support/sshd_server.sh
. "$(dirname "$0")/sshd_server.sh"

stop() {
  sshd_resume "$dir" # a test may have left the server paused
  unmount "$dir/mnt"
  sshd_stop "$dir"
  rm -f "$dir/root"
}

if [ "$action" = stop ]; then
  stop
  exit 0
fi

sshd_usable
command -v sshfs >/dev/null || unusable "no sshfs (package sshfs)"
why=$(fuse_usable) || unusable "$why"

stop # a share left over on DIR
mkdir -p "$dir/export" "$dir/mnt"
sshd_start "$dir"
port=$(cat "$dir/port")

# shellcheck disable=SC2086 # SSHFS_OPTS is a list of options
if ! sshfs "$(id -un)@127.0.0.1:$dir/export" "$dir/mnt" -p "$port" \
  -o IdentityFile="$dir/user_key" -o IdentitiesOnly=yes -o StrictHostKeyChecking=no \
  -o UserKnownHostsFile=/dev/null -o LogLevel=ERROR -o BatchMode=yes ${SSHFS_OPTS:-} \
  2>"$dir/sshfs.log"; then
  stop
  unusable "sshfs could not mount: $(head -n 1 "$dir/sshfs.log")"
fi
echo "$dir/mnt" >"$dir/root"
