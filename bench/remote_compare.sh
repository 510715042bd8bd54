#!/usr/bin/env bash
# The timed commands and the preparations are shell text run later, hence
# the single quotes around their expansions.
# shellcheck disable=SC2016
# Compares the copy engine (bench/engine_run) with cp and rsync onto a network
# share: an sshd of our own on 127.0.0.1 exports a folder of the scratch
# folder and sshfs mounts it (tests/support/sshfs_share.sh). The source is a
# local tree of 5,000 files (0-16 KiB, 100 folders); the destinations are on
# the mount. Prints the median times, their ratios and the goals.
#
#   bench/remote_compare.sh [SCRATCH-FOLDER]
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
#
# The cpu columns count the tool's own process only, not sshfs, ssh and the
# server's sftp-server, which do much of the work of a run onto the share.
#
# Environment: RUNS_COPY (first copy, default 5), RUNS_UPDATE (nothing
# changed, default 5), RUNS_CHANGED (a tenth changed, default 5),
# REMOTE_CACHE_S (see above), REMOTE_DELAY_MS (a delay added to every packet
# on the loopback interface with tc netem, for a slower network; removed at
# the end; where tc netem is refused the script says so and runs without).
# SSHFS_OPTS adds mount options after these. Exits 77 when sshd, sshfs or
# FUSE cannot be used here. About seven minutes on two cores.
set -euo pipefail
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
number RUNS_COPY "$runs_copy"
number RUNS_UPDATE "$runs_update"
number RUNS_CHANGED "$runs_changed"
number REMOTE_CACHE_S "$cache_s"
[ -z "$delay_ms" ] || number REMOTE_DELAY_MS "$delay_ms"
# Both caches have run out this long after a name was last looked at.
cold_wait=$(echo "$((cache_s > 1 ? cache_s : 1)) + 0.5" | bc)

share=$top/tests/support/sshfs_share.sh
share_dir=$scratch/remote-share
export_dir=$share_dir/export # the server's side of the share, a local folder
mnt=$share_dir/mnt

# Cleaning up, however the script ends: the delay comes off the loopback
# interface, the share is unmounted and its sshd stopped, and only then is
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
rm -f "$scratch/failed" "$scratch/engine.last"

# The share. SSHFS_OPTS is read by sshfs_share.sh.
export SSHFS_OPTS="-o dcache_timeout=$cache_s -o entry_timeout=1 -o attr_timeout=1 -o negative_timeout=0 ${SSHFS_OPTS:-}"
status=0
"$share" start "$share_dir" || status=$?
if [ "$status" -eq 77 ]; then
  echo "skipped: no network share can be set up here (sshd, sshfs or FUSE unusable)"
  exit 77
fi
[ "$status" -eq 0 ] || exit "$status"
echo "share: sshfs $(sshfs --version 2>&1 | awk '/SSHFS version/ { print $3 }') onto an sshd on 127.0.0.1:$(cat "$share_dir/port");" \
  "options:$SSHFS_OPTS"

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
"$build/bin/make_tree" "$tree" 5000 100 42
# Every tenth file, in path order: the files that change before each round.
(cd "$tree" && find . -type f | sort | awk 'NR % 10 == 1') >"$scratch/tenth.txt"
tenth=$(wc -l <"$scratch/tenth.txt")

# listing DIR: the folders, and the files with their sizes and modification
# times in whole seconds (all that the share keeps), in path order.
listing() {
  (cd "$1" && find . -mindepth 1 \( -type d -printf 'd %P\n' \) -o \( -type f -printf 'f %P %s %T@\n' \) -o -printf '? %P\n') \
    | sed 's/\.[0-9]*$//' | sort
}
# same_as_tree DIR WHAT: fails loudly when DIR does not hold exactly the tree's files.
same_as_tree() {
  if ! diff <(listing "$tree") <(listing "$1") >"$scratch/listing.diff"; then
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

# The timed commands run in their own shell and find these in the environment.
# A tool that fails ends the script with what it said.
export engine tree scratch dst
failed() { echo "|| { echo \"$1 failed onto \$dst\" >>\"\$scratch/failed\"; exit 1; }"; }
engine_cmd="\"\$engine\" \"\$tree\" \"\$dst\" >\"\$scratch/engine.last\" 2>&1 $(failed engine_run)"

# Once, before timing: the engine's first copy holds exactly the source's
# files, with the same contents and times, as the server stores them and as
# the mount shows them.
echo "checking an engine first copy..."
dst=$mnt/check expect=5000
"$engine" "$tree" "$dst" >"$scratch/engine.last" 2>&1 || echo "engine_run failed (status $?)" >>"$scratch/engine.last"
engine_ok
sync
if ! diff -r "$tree" "$export_dir/check" >"$scratch/content.diff" 2>&1; then
  echo "first copy: contents on the server differ from the source:" >>"$scratch/failed"
  head -n 20 "$scratch/content.diff" >>"$scratch/failed"
  exit 1
fi
same_as_tree "$export_dir/check" "first copy (server side)"
same_as_tree "$mnt/check" "first copy (through the mount)"

# And that waiting makes the mount forget: a time and a file changed on the
# server after the mount looked at them show through it after the wait.
probe=$(head -n 1 "$scratch/tenth.txt")
stat -c %Y "$mnt/check/$probe" >/dev/null
ls "$mnt/check/d00" >"$scratch/names.txt"
touch -d @1700050000 "$export_dir/check/$probe"
: >"$export_dir/check/d00/new-on-server"
seen_at_once=$(stat -c %Y "$mnt/check/$probe")
cold
ls "$mnt/check/d00" >"$scratch/names.txt"
if [ "$(stat -c %Y "$mnt/check/$probe")" != 1700050000 ] || ! grep -qx new-on-server "$scratch/names.txt"; then
  echo "the mount still shows what it had cached ${cold_wait} s after the server changed;" \
    "the runs would not start uncached" >>"$scratch/failed"
  exit 1
fi
echo "check passed: copy exact; a change on the server shows through the mount after ${cold_wait} s" \
  "($([ "$seen_at_once" = 1700050000 ] && echo "and at once" || echo "not at once: cached before"))"
rm -rf "$export_dir/check"

# row NAME OURS OURS_CPU CP CP_CPU RSYNC RSYNC_CPU GOAL
row() {
  local met=yes
  [ "$(echo "$2 <= $8 * $4" | bc)" = 1 ] || met=no
  printf '%-16s %8s %8s %6s %6s | %8s %8s %6s | %8s %6s | %5s %4s\n' "$1" "$2" "$4" "$(ratio "$2" "$4")" \
    "$(ratio "$2" "$6")" "$3" "$5" "$(ratio "$3" "$5")" "$6" "$7" "<=$8" "$met"
}

# First copy into an empty destination: a new folder on the mount each run,
# all removed at the end on the server's side (removing them through the
# mount would take longer than the copies).
echo "first copy, $runs_copy runs of each..."
fresh=0
interleave "$runs_copy" 'engine_ok; fresh=$((fresh + 1)); dst=$mnt/first-$fresh' \
  "$engine_cmd" \
  "cp -r --preserve=timestamps \"\$tree\" \"\$dst\" $(failed cp)" \
  "rsync -rt \"\$tree/\" \"\$dst/\" $(failed rsync)" >"$scratch/times.txt"
engine_ok
read -r copy_ours copy_ours_cpu copy_cp copy_cp_cpu copy_rsync copy_rsync_cpu <"$scratch/times.txt"
for ((i = 1; i <= fresh; i++)); do same_as_tree "$export_dir/first-$i" "first copy"; done
rm -rf "$export_dir"/first-*
sync

# Each tool keeps a destination of its own for the two update runs, a full,
# current copy made on the server's side, so that one tool's run leaves
# nothing behind for another (rsync, for one, resets the folders' times).
for tool in engine cp rsync; do cp -a "$tree" "$export_dir/upd-$tool"; done
sync
dst_engine=$mnt/upd-engine dst_cp=$mnt/upd-cp dst_rsync=$mnt/upd-rsync
export dst_engine dst_cp dst_rsync
update_cmds=(
  "\"\$engine\" \"\$tree\" \"\$dst_engine\" >\"\$scratch/engine.last\" 2>&1 $(failed engine_run)"
  "cp -ru --preserve=timestamps \"\$tree/.\" \"\$dst_cp/\" $(failed cp)"
  "rsync -rtu \"\$tree/\" \"\$dst_rsync/\" $(failed rsync)"
)

echo "nothing changed, $runs_update runs of each..."
expect=0
interleave "$runs_update" 'engine_ok; cold' "${update_cmds[@]}" >"$scratch/times.txt"
engine_ok
read -r update_ours update_ours_cpu update_cp update_cp_cpu update_rsync update_rsync_cpu <"$scratch/times.txt"
for tool in engine cp rsync; do same_as_tree "$export_dir/upd-$tool" "nothing changed ($tool)"; done

# A tenth changed: at the start of each round every tenth source file gets a
# time later than the round before's, so each tool finds the same files
# newer than in its own destination, which its run of the round before left
# current, and copies them.
# newer ROUND: gives the tenth of the files the time of ROUND.
newer() { xargs -d '\n' touch -d "@$((1700100000 + 60 * $1))" <"$scratch/tenth.txt"; }
echo "a tenth changed, $runs_changed runs of each..."
# shellcheck disable=SC2034 # round and turn are used by the preparation
round=0 turn=0 expect=$tenth
interleave "$runs_changed" \
  'engine_ok; if [ $((turn % 3)) -eq 0 ]; then round=$((round + 1)); (cd "$tree" && newer "$round"); fi; turn=$((turn + 1)); cold' \
  "${update_cmds[@]}" >"$scratch/times.txt"
engine_ok
read -r changed_ours changed_ours_cpu changed_cp changed_cp_cpu changed_rsync changed_rsync_cpu <"$scratch/times.txt"
for tool in engine cp rsync; do
  same_as_tree "$export_dir/upd-$tool" "a tenth changed ($tool)"
done

echo
echo "$tenth of 5,000 files changed each round; the destination's metadata uncached before each update run"
echo "median seconds; ratio = engine / cp (and / rsync); cpu = user + system seconds of the tool's process"
printf '%-16s %8s %8s %6s %6s | %8s %8s %6s | %8s %6s | %5s %4s\n' "work" "engine" "cp" "ratio" "/rsync" \
  "cpu eng" "cpu cp" "ratio" "rsync" "cpu" "goal" "met"
row "first copy" "$copy_ours" "$copy_ours_cpu" "$copy_cp" "$copy_cp_cpu" "$copy_rsync" "$copy_rsync_cpu" 1.0
row "nothing changed" "$update_ours" "$update_ours_cpu" "$update_cp" "$update_cp_cpu" "$update_rsync" "$update_rsync_cpu" 0.5
row "a tenth changed" "$changed_ours" "$changed_ours_cpu" "$changed_cp" "$changed_cp_cpu" "$changed_rsync" "$changed_rsync_cpu" 0.7

echo
echo "took $((SECONDS / 60)) min $((SECONDS % 60)) s"
