# shellcheck shell=bash
# An sshd of our own on a free port of 127.0.0.1, for the shares that reach
# their files over sftp (sshfs_share.sh, rclone_share.sh): sourced, not run.
# The caller defines unusable (one line on standard error, exit 77).
#
#   sshd_usable        calls unusable when sshd or sftp-server is missing
#   sshd_start DIR     starts it; DIR/port then holds its port, DIR/user_key
#                      the key it lets in, DIR/sshd.pid its process id
#   sshd_stop DIR      ends it and its sessions; any number of times
#   sshd_resume DIR    lets it and its sessions go on, should a test have
#                      paused them
#
# The system's ssh and sshd configuration is not read or changed: the host key,
# the user key, sshd_config and known-hosts handling all live in DIR. sshd runs
# as the user calling the script and lets in only that user's own new key.
# As root, sshd needs its privilege-separation folder /run/sshd, which the
# system's service would make at start; it is made when missing.

# shellcheck source=tests/support/share_common.sh
. "$(dirname "${BASH_SOURCE[0]}")/share_common.sh"

sshd_usable() {
  sshd=$(command -v sshd || echo /usr/sbin/sshd)
  [ -x "$sshd" ] || unusable "no sshd (package openssh-server)"
  sftp_server=""
  for candidate in /usr/lib/openssh/sftp-server /usr/libexec/openssh/sftp-server /usr/lib/ssh/sftp-server; do
    [ -x "$candidate" ] && sftp_server=$candidate && break
  done
  [ -n "$sftp_server" ] || unusable "no sftp-server (package openssh-sftp-server)"
  if [ "$(id -u)" -eq 0 ] && [ ! -d /run/sshd ]; then
    mkdir -p -m 0755 /run/sshd || unusable "cannot make /run/sshd"
  fi
}

sshd_stop() {
  # Only our own sshd: the process must still be the one started on DIR's
  # configuration. Its sessions are its children and outlive it otherwise.
  end_started "$1/sshd.pid" "$1/sshd_config"
  rm -f "$1/port"
}

sshd_resume() {
  resume_started "$1/sshd.pid" "$1/sshd_config"
}

sshd_start() {
  local dir=$1 port pid started=""
  sshd_usable
  rm -f "$dir/host_key" "$dir/host_key.pub" "$dir/user_key" "$dir/user_key.pub"
  ssh-keygen -q -t ed25519 -N "" -f "$dir/host_key" >/dev/null || unusable "cannot make a host key"
  ssh-keygen -q -t ed25519 -N "" -f "$dir/user_key" >/dev/null || unusable "cannot make a user key"
  cp "$dir/user_key.pub" "$dir/authorized_keys"
  chmod 600 "$dir/authorized_keys"
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
    if await_listening "$pid" "$port" 10; then
      started=1
      break
    fi
    rm -f "$dir/sshd.pid"
  done
  [ -n "$started" ] || unusable "sshd did not start: $(tail -n 1 "$dir/sshd.log" 2>/dev/null)"
  echo "$port" >"$dir/port"
}
