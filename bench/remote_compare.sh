#!/usr/bin/env bash
# The timed commands and the preparations are shell text run later, hence
# the single quotes around their expansions.
# shellcheck disable=SC2016
# Compares the copy engine (bench/engine_run) with cp and rsync onto a network
# share served and mounted on this machine, exporting a folder of the scratch
# folder. KIND (or REMOTE_SHARE) is the kind of share:
#   sshfs          an sshd of our own on 127.0.0.1, mounted with sshfs
#                  (tests/support/sshfs_share.sh); the default
#   smb            a Samba server of our own on 127.0.0.1, mounted through
#                  libsmbclient with smbnetfs (tests/support/smb_share.sh)
#   rclone-off     the sshd's sftp mounted with rclone mount, its VFS cache
#   rclone-writes  mode off or writes (tests/support/rclone_share.sh)
# The source is a local tree of 5,000 files (0-16 KiB, 100 folders; see
# REMOTE_FILES below); the destinations are on the mount. Prints the median
# times, their ratios and the goals.
#
#   bench/remote_compare.sh [KIND] [SCRATCH-FOLDER]
#
# Three kinds of run, the tools taking turns, each timed run after a sync:
#   first copy       engine_run  vs  cp -r --preserve=timestamps        (rsync -rt)
#                    a new destination folder on the mount each run
#   nothing changed  engine_run  vs  cp -ru --preserve=timestamps SRC/. (rsync -rtu)
#                    a full, current copy on the mount, its metadata not cached
#   a tenth changed  engine_run  vs  cp -ru --preserve=timestamps SRC/. (rsync -rtu)
#                    every tenth source file (500) made newer before each round
# Goals for the engine: first copy <= 1.0 x cp, nothing changed <= 0.5 x
# cp -ru, a tenth changed <= 0.7 x cp -ru.
#
# Where cp --preserve=timestamps does not keep the times on the share (on
# smbnetfs a time set through the open file is lost when it is closed), its
# copies would all be copied again by every update run: a check before the
# runs finds that out, and rsync -rt and rsync -rtu then take cp's place, the
# ratios and goals measured against them.
#
# Nothing cached: a user who starts an update onto a share has rarely looked
# at the destination in the last seconds, so the runs where the destination
# exists start with none of its metadata cached. There are two caches: the
# kernel's FUSE entries and attributes, and sshfs's own directory cache
# (names and attributes it got from the server). The share is mounted with
# kernel timeouts of 1 s (entry_timeout, attr_timeout; libfuse's defaults,
# given explicitly) and sshfs's cache timeout cut from 20 s to
# REMOTE_CACHE_S (default 3 s, dcache_timeout), and each such run waits that
# out, untimed, before it starts. Within a run both caches work as usual.
# Dropping the kernel's caches (echo 2 >/proc/sys/vm/drop_caches) was not
# taken: it leaves sshfs's own cache as it was and throws out the local
# source's inodes too, so the runs would read the source from disk; nor was
# cache=no, which would take away the caching users get within a run.
# rclone's directory cache is cut the same way (--dir-cache-time); smbnetfs
# keeps none of its own beyond the kernel's.
#
# With rclone-writes a tool is done once its files are in rclone's cache,
# which sends them to the server afterwards: before each run, untimed, the
# script waits until rclone has sent everything, and it compares what the
# server holds only then.
#
# The cpu columns count the tool's own process only, not the FUSE driver
# (sshfs, smbnetfs, rclone) and the server, which do much of the work of a
# run onto the share.
#
# Environment: RUNS_COPY (first copy, default 5), RUNS_UPDATE (nothing
# changed, default 5), RUNS_CHANGED (a tenth changed, default 5),
# REMOTE_CACHE_S (see above), REMOTE_DELAY_MS (a delay added to every packet
# on the loopback interface with tc netem, for a slower network; removed at
# the end; where tc netem is refused the script says so and runs without).
# REMOTE_FILES and REMOTE_FOLDERS (the tree's size, default 5000 and 100).
# SSHFS_OPTS and RCLONE_OPTS add mount options after these. Exits 77 when the
# share's server, its FUSE driver or FUSE cannot be used here. About seven
# minutes on two cores onto sshfs.
set -euo pipefail

kinds="sshfs smb rclone-off rclone-writes"
kind=${REMOTE_SHARE:-sshfs}
if [ $# -ge 1 ] && [[ " $kinds " == *" $1 "* ]]; then
  kind=$1
  shift
fi
if [[ " $kinds " != *" $kind "* ]]; then
  echo "the kind of share must be one of: $kinds; not '$kind'" >&2
  exit 2
fi

# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh" "$@"

number() { # number NAME VALUE: VALUE must be a whole number above 0
  if [[ ! $2 =~ ^[0-9]+$ ]] || [ "$2" -eq 0 ]; then
    echo "$1 must be a whole number above 0, not '$2'" >&2
    exit 2
  fi
}
runs_copy=${RUNS_COPY:-5}
runs_update=${RUNS_UPDATE:-5}
runs_changed=${RUNS_CHANGED:-5}
cache_s=${REMOTE_CACHE_S:-3}
delay_ms=${REMOTE_DELAY_MS:-}
files=${REMOTE_FILES:-5000}
folders=${REMOTE_FOLDERS:-100}
number RUNS_COPY "$runs_copy"
number RUNS_UPDATE "$runs_update"
number RUNS_CHANGED "$runs_changed"
number REMOTE_CACHE_S "$cache_s"
number REMOTE_FILES "$files"
number REMOTE_FOLDERS "$folders"
[ -z "$delay_ms" ] || number REMOTE_DELAY_MS "$delay_ms"
# Both caches have run out this long after a name was last looked at. sshfs
# keeps its entries' ages in whole seconds, so an entry can live almost a
# second beyond its timeout.
cold_wait=$(echo "$((cache_s > 1 ? cache_s : 1)) + 1.5" | bc)

share_dir=$scratch/remote-share
export_dir=$share_dir/export # the server's side of the share, a local folder
mnt=$share_dir/mnt           # where the share is mounted
case $kind in
  sshfs) share=$top/tests/support/sshfs_share.sh share_args=() ;;
  smb) share=$top/tests/support/smb_share.sh share_args=() ;;
  rclone-off) share=$top/tests/support/rclone_share.sh share_args=(off) ;;
  rclone-writes) share=$top/tests/support/rclone_share.sh share_args=(writes) ;;
esac

# Cleaning up, however the script ends: the delay comes off the loopback
# interface, the share is unmounted and its server stopped, and only then is
# the share's folder removed and what common.sh left for the end (removing
# the scratch folder) done. Nothing is removed while the mount is still
# there, so no removal runs through it onto the server's files.
netem_added=""
at_exit=$(trap -p EXIT)
# trap_command TRAP-P-OUTPUT: the command of a trap as trap -p prints it.
trap_command() {
  [ -n "$1" ] || return 0
  eval "set -- $1"
  printf '%s\n' "$3"
}
at_exit=$(trap_command "$at_exit")
cleanup() {
  local status=$?
  trap - EXIT INT TERM
  if [ -s "$scratch/failed" ]; then
    echo "FAILED:" >&2
    cat "$scratch/failed" >&2
  fi
  if [ -n "$netem_added" ]; then
    tc qdisc del dev lo root netem 2>/dev/null || echo "warning: the delay on lo could not be removed" >&2
  fi
  "$share" stop "$share_dir" || true
  if grep -qsF " $mnt " /proc/self/mounts; then
    echo "warning: $mnt is still mounted; $scratch is left as it is" >&2
  else
    rm -rf --one-file-system "$share_dir"
    [ -z "$at_exit" ] || eval "$at_exit"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

engine=$build/bin/engine_run
tree=$scratch/remote-tree
rm -f "$scratch/failed" "$scratch/engine.last" "$scratch/notes" "$scratch/made.txt"

# The share. SSHFS_OPTS and RCLONE_OPTS are read by the share's script.
export SSHFS_OPTS="-o dcache_timeout=$cache_s -o entry_timeout=1 -o attr_timeout=1 -o negative_timeout=0 ${SSHFS_OPTS:-}"
export RCLONE_OPTS="--dir-cache-time ${cache_s}s --attr-timeout 1s --poll-interval 0 ${RCLONE_OPTS:-}"
status=0
"$share" start "$share_dir" "${share_args[@]}" || status=$?
if [ "$status" -eq 77 ]; then
  echo "skipped: no $kind share can be set up here (its server, its FUSE driver or FUSE unusable)"
  exit 77
fi
[ "$status" -eq 0 ] || exit "$status"
root=$(cat "$share_dir/root") # the mount's folder that shows export_dir
case $kind in
  sshfs)
    echo "share: sshfs $(sshfs --version 2>&1 | awk '/SSHFS version/ { print $3 }') onto an sshd on" \
      "127.0.0.1:$(cat "$share_dir/port"); options:$SSHFS_OPTS"
    ;;
  smb)
    echo "share: smbnetfs $(HOME=$share_dir smbnetfs --version 2>&1 | awk '/SMBNetFS version/ { print $3 }')" \
      "onto smbd $(smbd --version | awk '{ print $2 }') on 127.0.0.1, at $root"
    ;;
  rclone-*)
    echo "share: rclone $(rclone version | awk 'NR == 1 { print $2 }') mount, --vfs-cache-mode ${kind#rclone-}," \
      "of the sftp of an sshd on 127.0.0.1:$(cat "$share_dir/port"); options: $RCLONE_OPTS"
    ;;
esac

if [ -n "$delay_ms" ]; then
  if err=$(tc qdisc add dev lo root netem delay "${delay_ms}ms" 2>&1); then
    netem_added=1
    echo "latency: tc netem adds ${delay_ms} ms to every packet on lo (round trip $((2 * delay_ms)) ms)"
  else
    echo "latency: tc netem refused here ($err); going on without a delay"
  fi
else
  echo "latency: none added (REMOTE_DELAY_MS unset)"
fi

echo "making the tree..."
rm -rf "$tree"
"$build/bin/make_tree" "$tree" "$files" "$folders" 42
# Every tenth file, in path order: the files that change before each round.
(cd "$tree" && find . -type f | sort | awk 'NR % 10 == 1') >"$scratch/tenth.txt"
tenth=$(wc -l <"$scratch/tenth.txt")

# listing DIR: the folders, and the files with their sizes and modification
# times in whole seconds (all that the share keeps), in path order.
listing() {
  (cd "$1" && find . -mindepth 1 \( -type d -printf 'd %P\n' \) -o \( -type f -printf 'f %P %s %T@\n' \) -o -printf '? %P\n') \
    | sed 's/\.[0-9]*$//' | sort
}
# same_as_tree DIR WHAT [TOOL]: fails loudly when DIR does not hold exactly
# the tree's files. Where TOOL, the one that copied them, is not the engine
# and only some of the times differ, that is noted for the end instead: on
# smbnetfs even rsync, which sets the times by name once a file is closed,
# loses a few (the server may close the file only after that).
same_as_tree() {
  if ! diff <(listing "$tree") <(listing "$1") >"$scratch/listing.diff"; then
    if [ "${3:-engine}" != engine ] \
      && diff <(listing "$tree" | sed '/^f /s/ [0-9]*$//') <(listing "$1" | sed '/^f /s/ [0-9]*$//') >/dev/null; then
      echo "$2: $3 gave $(grep -c '^> f ' "$scratch/listing.diff") of $files files another time than the source's" \
        >>"$scratch/notes"
      return 0
    fi
    echo "$2: $1 differs from the source (< source, > copy):" >>"$scratch/failed"
    head -n 20 "$scratch/listing.diff" >>"$scratch/failed"
    exit 1
  fi
}
# engine_ok: the engine's last run, when there was one since, copied
# $expect files (any number when empty) and had no errors.
expect=""
engine_ok() {
  [ -f "$scratch/engine.last" ] || return 0
  local last
  last=$(tail -n 1 "$scratch/engine.last")
  if [[ ! $last =~ ^checked\ [0-9]+\ copied\ ${expect:-[0-9]+}\ errors\ 0\ result\ 0$ ]]; then
    echo "engine_run: expected ${expect:-some} files copied and no errors, got:" >>"$scratch/failed"
    tail -n 5 "$scratch/engine.last" >>"$scratch/failed"
    exit 1
  fi
  rm -f "$scratch/engine.last"
}
cold() { sleep "$cold_wait"; }
# sent: with rclone-writes, waits until rclone has sent every file it holds
# to the server (its cache marks those it has not as dirty); at once with
# the other kinds of share.
sent() {
  [ "$kind" = rclone-writes ] || return 0
  local deadline=$((SECONDS + 600)) clean=0
  while [ $clean -lt 2 ]; do
    if grep -rqsF '"Dirty": true' "$share_dir/rclone-cache/vfsMeta"; then
      clean=0
    else
      clean=$((clean + 1))
    fi
    if [ $SECONDS -ge $deadline ]; then
      echo "rclone had not sent everything to the server after 600 s" >>"$scratch/failed"
      exit 1
    fi
    sleep 0.2
  done
}
# server_copy DIR: a full, current copy of the tree made on the server's
# side as DIR, owned as the server makes its files (by Samba's user on smb).
server_copy() {
  cp -a "$tree" "$export_dir/$1"
  chown -R --reference="$export_dir" "$export_dir/$1"
}

# The timed commands run in their own shell and find these in the environment.
# A tool that fails ends the script with what it said.
export engine tree scratch dst
failed() { echo "|| { echo \"$1 failed onto \$dst\" >>\"\$scratch/failed\"; exit 1; }"; }
engine_cmd="\"\$engine\" \"\$tree\" \"\$dst\" >\"\$scratch/engine.last\" 2>&1 $(failed engine_run)"

# Whether cp --preserve=timestamps keeps the times on this share: it sets
# them through the file it has written, before it closes it. Where the
# server loses them, cp's copies would all be copied again by each update
# run, and rsync, which sets them by name once the file is closed, is
# measured against instead.
echo "checking cp --preserve=timestamps..."
cp_check=$(cd "$tree" && find . -mindepth 1 -maxdepth 1 -type d | sort | head -n 1)
cp -r --preserve=timestamps "$tree/$cp_check" "$root/cp-check"
sync
sent
cold # smbnetfs closes a file on the server only after close() has returned
checked=$(listing "$tree/$cp_check" | grep -c '^f ' || true)
lost=$(diff <(listing "$tree/$cp_check") <(listing "$export_dir/cp-check") | grep -c '^> f ' || true)
rm -rf "$export_dir/cp-check"
if [ "$lost" -eq 0 ]; then
  ref="cp"
  echo "cp keeps the times on this share ($checked files copied)"
else
  ref="rsync"
  echo "cp does not keep the times on this share ($lost of $checked files copied have others on the server):" \
    "rsync -rt and rsync -rtu take its place"
fi

# Once, before timing: the engine's first copy holds exactly the source's
# files, with the same contents and times, as the server stores them and as
# the mount shows them.
echo "checking an engine first copy..."
dst=$root/check expect=$files
"$engine" "$tree" "$dst" >"$scratch/engine.last" 2>&1 || echo "engine_run failed (status $?)" >>"$scratch/engine.last"
engine_ok
sync
sent
if ! diff -r "$tree" "$export_dir/check" >"$scratch/content.diff" 2>&1; then
  echo "first copy: contents on the server differ from the source:" >>"$scratch/failed"
  head -n 20 "$scratch/content.diff" >>"$scratch/failed"
  exit 1
fi
same_as_tree "$export_dir/check" "first copy (server side)"
same_as_tree "$root/check" "first copy (through the mount)"

# And that waiting makes the mount forget: a time and a file changed on the
# server after the mount looked at them show through it after the wait.
probe=$(head -n 1 "$scratch/tenth.txt")
stat -c %Y "$root/check/$probe" >/dev/null
ls "$root/check/d00" >"$scratch/names.txt"
touch -d @1700050000 "$export_dir/check/$probe"
: >"$export_dir/check/d00/new-on-server"
seen_at_once=$(stat -c %Y "$root/check/$probe")
cold
ls "$root/check/d00" >"$scratch/names.txt"
if [ "$(stat -c %Y "$root/check/$probe")" != 1700050000 ] || ! grep -qx new-on-server "$scratch/names.txt"; then
  echo "the mount still shows what it had cached ${cold_wait} s after the server changed;" \
    "the runs would not start uncached" >>"$scratch/failed"
  exit 1
fi
echo "check passed: copy exact; a change on the server shows through the mount after ${cold_wait} s" \
  "($([ "$seen_at_once" = 1700050000 ] && echo "and at once" || echo "not at once: cached before"))"
rm -rf "$export_dir/check"

# row NAME OURS OURS_CPU REF REF_CPU RSYNC RSYNC_CPU GOAL (REF: cp or rsync)
row() {
  local met=yes
  [ "$(echo "$2 <= $8 * $4" | bc)" = 1 ] || met=no
  local cpu_ratio=- # a small tree's runs may take no measurable processor time
  [ "$(echo "$5 > 0" | bc)" = 0 ] || cpu_ratio=$(ratio "$3" "$5")
  printf '%-16s %8s %8s %6s %6s | %8s %8s %6s | %8s %6s | %5s %4s\n' "$1" "$2" "$4" "$(ratio "$2" "$4")" \
    "$(ratio "$2" "$6")" "$3" "$5" "$cpu_ratio" "$6" "$7" "<=$8" "$met"
}

# First copy into an empty destination: a new folder on the mount each run,
# all removed at the end on the server's side (removing them through the
# mount would take longer than the copies).
# When rsync takes cp's place, it runs once and its figures fill both columns.
copy_cmds=("rsync -rt \"\$tree/\" \"\$dst/\" $(failed rsync)")
tools=(engine rsync)
if [ "$ref" = cp ]; then
  copy_cmds=("cp -r --preserve=timestamps \"\$tree\" \"\$dst\" $(failed cp)" "${copy_cmds[@]}")
  tools=(engine cp rsync)
fi
echo "first copy, $runs_copy runs of each..."
fresh=0
# The preparation notes which tool copies into which folder: k, the command
# about to run, is interleave's.
interleave "$runs_copy" \
  'engine_ok; sent; fresh=$((fresh + 1)); dst=$root/first-$fresh; echo "${tools[k]}" >>"$scratch/made.txt"' \
  "$engine_cmd" "${copy_cmds[@]}" >"$scratch/times.txt"
engine_ok
sent
read -r copy_ours copy_ours_cpu copy_ref copy_ref_cpu copy_rsync copy_rsync_cpu <"$scratch/times.txt"
copy_rsync=${copy_rsync:-$copy_ref} copy_rsync_cpu=${copy_rsync_cpu:-$copy_ref_cpu}
for ((i = 1; i <= fresh; i++)); do
  same_as_tree "$export_dir/first-$i" "first copy" "$(sed -n "${i}p" "$scratch/made.txt")"
done
rm -rf "$export_dir"/first-*
sync

# Each tool keeps a destination of its own for the two update runs, a full,
# current copy made on the server's side, so that one tool's run leaves
# nothing behind for another (rsync, for one, resets the folders' times).
for tool in "${tools[@]}"; do server_copy "upd-$tool"; done
sync
dst_engine=$root/upd-engine dst_cp=$root/upd-cp dst_rsync=$root/upd-rsync
export dst_engine dst_cp dst_rsync
update_cmds=("\"\$engine\" \"\$tree\" \"\$dst_engine\" >\"\$scratch/engine.last\" 2>&1 $(failed engine_run)")
[ "$ref" != cp ] || update_cmds+=("cp -ru --preserve=timestamps \"\$tree/.\" \"\$dst_cp/\" $(failed cp)")
update_cmds+=("rsync -rtu \"\$tree/\" \"\$dst_rsync/\" $(failed rsync)")

echo "nothing changed, $runs_update runs of each..."
expect=0
interleave "$runs_update" 'engine_ok; sent; cold' "${update_cmds[@]}" >"$scratch/times.txt"
engine_ok
sent
read -r update_ours update_ours_cpu update_ref update_ref_cpu update_rsync update_rsync_cpu <"$scratch/times.txt"
update_rsync=${update_rsync:-$update_ref} update_rsync_cpu=${update_rsync_cpu:-$update_ref_cpu}
for tool in "${tools[@]}"; do same_as_tree "$export_dir/upd-$tool" "nothing changed" "$tool"; done

# A tenth changed: at the start of each round every tenth source file gets a
# time later than the round before's, so each tool finds the same files
# newer than in its own destination, which its run of the round before left
# current, and copies them.
# newer ROUND: gives the tenth of the files the time of ROUND.
newer() { xargs -d '\n' touch -d "@$((1700100000 + 60 * $1))" <"$scratch/tenth.txt"; }
echo "a tenth changed, $runs_changed runs of each..."
# shellcheck disable=SC2034 # round, turn and turns are used by the preparation
round=0 turn=0 turns=${#update_cmds[@]} expect=$tenth
interleave "$runs_changed" \
  'engine_ok; sent; if [ $((turn % turns)) -eq 0 ]; then round=$((round + 1)); (cd "$tree" && newer "$round"); fi; turn=$((turn + 1)); cold' \
  "${update_cmds[@]}" >"$scratch/times.txt"
engine_ok
sent
read -r changed_ours changed_ours_cpu changed_ref changed_ref_cpu changed_rsync changed_rsync_cpu <"$scratch/times.txt"
changed_rsync=${changed_rsync:-$changed_ref} changed_rsync_cpu=${changed_rsync_cpu:-$changed_ref_cpu}
for tool in "${tools[@]}"; do
  same_as_tree "$export_dir/upd-$tool" "a tenth changed" "$tool"
done

echo
echo "share: $kind; $tenth of $files files changed each round; the destination's metadata uncached before each update run"
[ "$ref" = cp ] || echo "cp does not keep the times on this share: rsync -rt and rsync -rtu take its place"
echo "median seconds; ratio = engine / $ref (and / rsync); cpu = user + system seconds of the tool's process"
printf '%-16s %8s %8s %6s %6s | %8s %8s %6s | %8s %6s | %5s %4s\n' "work" "engine" "$ref" "ratio" "/rsync" \
  "cpu eng" "cpu $ref" "ratio" "rsync" "cpu" "goal" "met"
row "first copy" "$copy_ours" "$copy_ours_cpu" "$copy_ref" "$copy_ref_cpu" "$copy_rsync" "$copy_rsync_cpu" 1.0
row "nothing changed" "$update_ours" "$update_ours_cpu" "$update_ref" "$update_ref_cpu" "$update_rsync" "$update_rsync_cpu" 0.5
row "a tenth changed" "$changed_ours" "$changed_ours_cpu" "$changed_ref" "$changed_ref_cpu" "$changed_rsync" "$changed_rsync_cpu" 0.7

if [ -s "$scratch/notes" ]; then
  echo
  cat "$scratch/notes"
fi

echo
echo "took $((SECONDS / 60)) min $((SECONDS % 60)) s"
