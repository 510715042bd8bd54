#!/usr/bin/env bash
# A network share on this machine as rclone shows one: an sshd of our own on a
# free port of 127.0.0.1 serves DIR/export over sftp, and rclone mounts that
# sftp remote at DIR/mnt with its VFS cache mode off or writes.
#
#   tests/support/rclone_share.sh start DIR off|writes
#   tests/support/rclone_share.sh stop DIR
#
# start prints nothing and exits 0 once the share is mounted; it exits 77 with
# a one-line reason on standard error when sshd, rclone or FUSE cannot be used
# here. stop unmounts, ends rclone and the sshd; it may be called any number
# of times. RCLONE_OPTS adds options to rclone mount (for example
# "--dir-cache-time 3s"). DIR/root then names the folder that shows
# DIR/export (DIR/mnt itself), DIR/rclone.pid holds rclone's process id.
#
# With writes, rclone keeps what is written in its cache (DIR/rclone-cache)
# and sends a file to the server once it is closed and --vfs-write-back
# (5 s unless RCLONE_OPTS says otherwise) has passed; until then DIR/export
# does not have it. With off, writes go to the server as they are made, and a
# file can only be written from its start to its end.
#
# rclone reads its configuration from DIR/rclone.conf only, never the user's;
# the sftp remote there lets in with DIR's own key and takes any host key.
set -euo pipefail

usage() {
  echo "usage: $0 start DIR off|writes, or $0 stop DIR" >&2
  exit 2
}
[ $# -ge 2 ] || usage
action=$1
dir=$2
case $action in
  start) [ $# -eq 3 ] || usage ;;
  stop) [ $# -eq 2 ] || usage ;;
  *) usage ;;
esac
mode=${3:-}
case $action:$mode in start:off | start:writes | stop:) ;; *) usage ;; esac
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

unusable() {
  echo "rclone share unusable: $*" >&2
  exit 77
}

# shellcheck source=tests/support/sshd_server.sh
. "$(dirname "$0")/sshd_server.sh"

stop() {
  sshd_resume "$dir" # a test may have left the server paused
  unmount "$dir/mnt"
  # rclone ends by itself once unmounted; not so when the mount was taken
  # away from it some other way, or it hangs on the server.
  end_started "$dir/rclone.pid" "$dir/rclone.conf"
  sshd_stop "$dir"
  rm -f "$dir/root"
}

if [ "$action" = stop ]; then
  stop
  exit 0
fi

sshd_usable
command -v rclone >/dev/null || unusable "no rclone (package rclone)"
why=$(fuse_usable) || unusable "$why"

stop # a share left over on DIR
mkdir -p "$dir/export" "$dir/mnt"
sshd_start "$dir"
cat >"$dir/rclone.conf" <<EOF
[share]
type = sftp
host = 127.0.0.1
port = $(cat "$dir/port")
user = $(id -un)
key_file = $dir/user_key
shell_type = unix
md5sum_command = none
sha1sum_command = none
EOF

# In the foreground, not --daemon, so that its process id is known; the
# mount is up once the mount table has it, and stays down when rclone ends.
# shellcheck disable=SC2086 # RCLONE_OPTS is a list of options
rclone mount "share:$dir/export" "$dir/mnt" --config "$dir/rclone.conf" \
  --cache-dir "$dir/rclone-cache" --vfs-cache-mode "$mode" \
  --log-file "$dir/rclone.log" --log-level NOTICE ${RCLONE_OPTS:-} \
  </dev/null >/dev/null 2>&1 &
pid=$!
echo "$pid" >"$dir/rclone.pid"
deadline=$((SECONDS + 20))
while kill -0 "$pid" 2>/dev/null && ! mounted "$dir/mnt" && [ $SECONDS -lt $deadline ]; do
  sleep 0.05
done
if ! kill -0 "$pid" 2>/dev/null || ! mounted "$dir/mnt"; then
  stop
  unusable "rclone could not mount: $(grep -m 1 -i error "$dir/rclone.log" 2>/dev/null || echo "not mounted after 20 s")"
fi
# The mount table has it before rclone answers; it is up when a file put on
# the server's side shows through it. The file goes again through the mount,
# so that rclone's listing of the folder does not keep it.
: >"$dir/export/.rclone-share-up"
until [ -e "$dir/mnt/.rclone-share-up" ]; do
  if [ $SECONDS -ge "$deadline" ]; then
    stop
    unusable "rclone mounted, but $dir/mnt did not show the server's files within 20 s"
  fi
  sleep 0.1
done
rm -f "$dir/mnt/.rclone-share-up"
echo "$dir/mnt" >"$dir/root"
