#!/usr/bin/env bash
# A Windows (SMB) network share on this machine: a Samba server of our own
# (smbd) on a free port of 127.0.0.1 exports DIR/export as the share "share",
# and smbnetfs, through libsmbclient, mounts the server at DIR/mnt.
#
#   tests/support/smb_share.sh start DIR
#   tests/support/smb_share.sh stop DIR
#
# start prints nothing and exits 0 once the share can be reached through the
# mount; it exits 77 with a one-line reason on standard error when Samba,
# smbnetfs or FUSE cannot be used here. stop unmounts and ends smbnetfs and
# the server; it may be called any number of times.
#
# smbnetfs shows every server it reaches as a folder of the mount, and every
# share as a folder of that: the share's files are in
# DIR/mnt/127.0.0.1:PORT/share, whose path DIR/root holds. DIR/smbd.pid holds
# the server's process id; the processes that serve a connection are its
# children.
#
# Samba runs as root, as it must to serve its users' files, and lets in one
# user: vstsmb, a system user made when missing, with a password of DIR's
# own. Files written through the mount are that user's in DIR/export. Its
# configuration, passwords, state, locks and logs all live in DIR; those of
# the system's Samba (/etc/samba, /var/lib/samba) are neither read nor changed.
# smbnetfs and libsmbclient read their configuration from DIR/.smb, never the
# user's ~/.smb.
set -euo pipefail
# A step that fails says which, for the test that reports it.
trap 'echo "smb share: line $LINENO: $BASH_COMMAND failed" >&2' ERR

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
user=vstsmb

unusable() {
  echo "smb share unusable: $*" >&2
  exit 77
}

# shellcheck source=tests/support/share_common.sh
. "$(dirname "$0")/share_common.sh"

# samba_processes: the processes of our Samba: smbd and its children, and
# the RPC helpers it starts, which leave it to run on their own; all of them
# name DIR's smb.conf on their command line.
samba_processes() {
  local cmdline
  for cmdline in /proc/[0-9]*/cmdline; do
    if tr '\0' ' ' 2>/dev/null <"$cmdline" | grep -qF -- "$dir/smb.conf"; then
      cmdline=${cmdline#/proc/}
      echo "${cmdline%/cmdline}"
    fi
  done
}

stop() {
  local pids
  pids=$(samba_processes)
  # shellcheck disable=SC2086 # one process id a word
  [ -z "$pids" ] || kill -CONT $pids 2>/dev/null || true # a test may have paused it
  unmount "$dir/mnt"
  end_started "$dir/smbnetfs.pid" "$dir/.smb/smbnetfs.conf"
  pids=$(samba_processes)
  # shellcheck disable=SC2086 # one process id a word
  end_processes $pids
  rm -f "$dir/smbd.pid" "$dir/root"
}

if [ "$action" = stop ]; then
  stop
  exit 0
fi

[ "$(id -u)" -eq 0 ] || unusable "Samba must run as root to serve a user's files"
smbd=$(command -v smbd || echo /usr/sbin/smbd)
[ -x "$smbd" ] || unusable "no smbd (package samba)"
command -v smbpasswd >/dev/null || unusable "no smbpasswd (package samba-common-bin)"
command -v smbnetfs >/dev/null || unusable "no smbnetfs (package smbnetfs)"
why=$(fuse_usable) || unusable "$why"
if ! id "$user" >/dev/null 2>&1; then
  useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user" 2>/dev/null \
    || unusable "cannot make the user $user"
fi

stop # a share left over on DIR
mkdir -p "$dir/export" "$dir/mnt"
chown "$user" "$dir/export"
samba=$dir/samba # the server's own folders
rm -rf "$samba"
mkdir -p "$samba"/{state,lock,private,pid,cache,ncalrpc,usershares,log}
chmod 700 "$samba/private"
chmod 1755 "$samba/usershares"
password=$(head -c 18 /dev/urandom | base64 | tr -d '/+=')

started=""
for _ in 1 2 3; do
  port=$(free_port)
  cat >"$dir/smb.conf" <<EOF
[global]
server role = standalone server
interfaces = 127.0.0.1
bind interfaces only = yes
smb ports = $port
disable netbios = yes
state directory = $samba/state
lock directory = $samba/lock
private dir = $samba/private
pid directory = $samba/pid
cache directory = $samba/cache
ncalrpc dir = $samba/ncalrpc
usershare path = $samba/usershares
passdb backend = tdbsam:$samba/private/passdb.tdb
log file = $samba/log/samba.log
max log size = 1000
rpc start on demand helpers = no
load printers = no
printcap name = /dev/null
disable spoolss = yes
map to guest = never
[share]
path = $dir/export
read only = no
valid users = $user
EOF
  if [ ! -s "$samba/private/passdb.tdb" ]; then
    printf '%s\n%s\n' "$password" "$password" | smbpasswd -c "$dir/smb.conf" -s -a "$user" >"$samba/smbpasswd.log" 2>&1 \
      || unusable "smbpasswd could not add $user: $(tail -n 1 "$samba/smbpasswd.log")"
  fi
  # -F: smbd stays in the foreground, so its process id is known at once. It
  # keeps its process group of its own: as it ends, it sends SIGTERM to the
  # whole of its group, which would otherwise be the caller's.
  "$smbd" -F -s "$dir/smb.conf" --debug-stdout -d 1 </dev/null >"$dir/smbd.log" 2>&1 &
  pid=$!
  echo "$pid" >"$dir/smbd.pid"
  if await_listening "$pid" "$port" 20; then
    started=1
    break
  fi
  rm -f "$dir/smbd.pid"
done
[ -n "$started" ] || unusable "smbd did not start: $(grep -v '^\s*$' "$dir/smbd.log" | tail -n 1)"

# smbnetfs, and libsmbclient below it, read ~/.smb: HOME is DIR for them.
# libsmbclient takes smb.conf from there and would fall back to the system's
# without it; smbnetfs wants its configuration, which holds the password,
# readable by its user alone.
mkdir -p "$dir/.smb" "$dir/.smb/client"/{state,lock,private,cache}
cat >"$dir/.smb/smb.conf" <<EOF
[global]
disable netbios = yes
state directory = $dir/.smb/client/state
lock directory = $dir/.smb/client/lock
private dir = $dir/.smb/client/private
cache directory = $dir/.smb/client/cache
EOF
: >"$dir/.smb/smbnetfs.auth"
: >"$dir/.smb/smbnetfs.host"
(
  umask 077
  cat >"$dir/.smb/smbnetfs.conf" <<EOF
smb_query_browsers "false"
use_libsecret "false"
config_update_period 0
auth "$user" "$password"
log_file "$dir/smbnetfs.log"
EOF
)
chmod 600 "$dir/.smb/smbnetfs.conf" "$dir/.smb/smbnetfs.auth" "$dir/.smb/smbnetfs.host"
# In the foreground (-f), so that its process id is known.
HOME=$dir smbnetfs "$dir/mnt" -f -o config="$dir/.smb/smbnetfs.conf" </dev/null >"$dir/smbnetfs.out" 2>&1 &
echo $! >"$dir/smbnetfs.pid"
# smbnetfs reaches the server by the name of the folder: a port after a colon.
root=$dir/mnt/127.0.0.1:$port/share
deadline=$((SECONDS + 20))
until [ -d "$root" ] && ls "$root" >/dev/null 2>&1; do
  if ! ours "$(cat "$dir/smbnetfs.pid")" "$dir/.smb/smbnetfs.conf" || [ $SECONDS -ge $deadline ]; then
    why=$(cat "$dir/smbnetfs.out" "$dir/smbnetfs.log" 2>/dev/null | grep -v '^\s*$' | tail -n 1)
    stop
    unusable "smbnetfs could not reach the share: ${why:-not within 20 s}"
  fi
  sleep 0.2
done
echo "$root" >"$dir/root"
