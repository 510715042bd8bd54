#!/usr/bin/env bash
# Compares the copy engine (bench/engine_run) with cp and rsync on the same
# trees in one invocation, and prints the median times and their ratios.
#
#   bench/compare.sh [SCRATCH-FOLDER]
#
# Builds a Release tree in build-bench/, makes a deterministic tree of 50,000
# files (0-16 KiB, 1,000 folders) and one 1 GiB file in the scratch folder
# (default: a new folder under /tmp, removed at the end), then times:
#   nothing changed  engine_run        vs  cp -ru --preserve=timestamps  (rsync -rtu)
#   first copy       engine_run        vs  cp -r --preserve=timestamps   (rsync -rt)
#   a tenth changed  engine_run        vs  cp -ru --preserve=timestamps  (rsync -rtu)
#                    every tenth file (5,000) made newer before each round,
#                    each tool updating a full copy of its own
#   one 1 GiB file   engine_run        vs  cp --preserve=timestamps      (rsync -t)
# Caches are warm; the tools take turns, and each timed run is preceded by a
# sync that is not timed.
set -euo pipefail
. "$(dirname "$0")/common.sh" "$@"
runs_update=${RUNS_UPDATE:-7}
runs_copy=${RUNS_COPY:-5}
runs_changed=${RUNS_CHANGED:-5}
runs_big=${RUNS_BIG:-5}

engine=$build/bin/engine_run

echo "making the trees..."
rm -rf "$scratch/tree" "$scratch/small" "$scratch/big"
"$build/bin/make_tree" "$scratch/tree" 50000 1000 42
"$build/bin/make_tree" "$scratch/small" 500 10 42
mkdir -p "$scratch/big"
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$scratch/big/one.bin"

# row NAME OURS OURS_CPU CP CP_CPU RSYNC RSYNC_CPU
row() {
  printf '%-16s %8s %8s %6s %6s | %8s %8s %6s | %8s %6s\n' "$1" "$2" "$4" "$(ratio "$2" "$4")" \
    "$(ratio "$2" "$6")" "$3" "$5" "$(ratio "$3" "$5")" "$6" "$7"
}

# The timed commands run in their own shell and find these in the environment.
export engine scratch
export dst=$scratch/dst
export tree=$scratch/tree
# Nothing changed: the destination is a full, current copy.
rm -rf "$dst" && cp -r --preserve=timestamps "$tree" "$dst"
"$engine" "$tree" "$dst" >/dev/null # warm the caches
read -r update_ours update_ours_cpu update_cp update_cp_cpu update_rsync update_rsync_cpu < <(interleave "$runs_update" : \
  '"$engine" "$tree" "$dst"' \
  'cp -ru --preserve=timestamps "$tree/." "$dst/"' \
  'rsync -rtu "$tree/" "$dst/"')

# Peak memory of a run where nothing changed: 50,000 files against 500.
peak() { command time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }
cp -r --preserve=timestamps "$scratch/small" "$scratch/small-copy"
peak_large=$(peak "$engine" "$tree" "$dst")
peak_small=$(peak "$engine" "$scratch/small" "$scratch/small-copy")

# First copy into an empty destination. Each run gets a new destination and
# the copies are removed only at the end: removing 50,000 files between runs
# leaves the file system busy (journal, discards) and slows whichever tool
# comes next.
fresh=0
read -r copy_ours copy_ours_cpu copy_cp copy_cp_cpu copy_rsync copy_rsync_cpu < <(interleave "$runs_copy" 'fresh=$((fresh + 1)); dst=$scratch/fresh-$fresh' \
  '"$engine" "$tree" "$dst"' \
  'cp -r --preserve=timestamps "$tree" "$dst"' \
  'rsync -rt "$tree/" "$dst/"')

rm -rf "$scratch"/fresh-*
dst=$scratch/dst

# A tenth changed: at the start of each round every tenth file gets a time
# later than the round before's, so each tool finds the same files newer than
# in its own copy, which its run of the round before left current.
(cd "$tree" && find . -type f | sort | awk 'NR % 10 == 1') >"$scratch/tenth.txt"
for tool in engine cp rsync; do cp -r --preserve=timestamps "$tree" "$scratch/upd-$tool"; done
# newer ROUND: gives the tenth of the files the time of ROUND.
newer() { (cd "$tree" && xargs -d '\n' touch -d "@$((1700100000 + 60 * $1))" <"$scratch/tenth.txt"); }
# shellcheck disable=SC2034 # round and turn are used by the preparation
round=0 turn=0
read -r changed_ours changed_ours_cpu changed_cp changed_cp_cpu changed_rsync changed_rsync_cpu < <(interleave "$runs_changed" \
  'if [ $((turn % 3)) -eq 0 ]; then round=$((round + 1)); newer "$round"; fi; turn=$((turn + 1))' \
  '"$engine" "$tree" "$scratch/upd-engine"' \
  'cp -ru --preserve=timestamps "$tree/." "$scratch/upd-cp/"' \
  'rsync -rtu "$tree/" "$scratch/upd-rsync/"')
rm -rf "$scratch"/upd-*

# One 1 GiB file.
read -r big_ours big_ours_cpu big_cp big_cp_cpu big_rsync big_rsync_cpu < <(interleave "$runs_big" 'rm -rf "$dst"; mkdir -p "$dst"' \
  '"$engine" "$scratch/big" "$dst"' \
  'cp --preserve=timestamps "$scratch/big/one.bin" "$dst/one.bin"' \
  'rsync -t "$scratch/big/one.bin" "$dst/one.bin"')
rm -rf "$dst"

echo
echo "median seconds; ratio = engine / cp (and / rsync); cpu = user + system seconds"
printf '%-16s %8s %8s %6s %6s | %8s %8s %6s | %8s %6s\n' "work" "engine" "cp" "ratio" "/rsync" \
  "cpu eng" "cpu cp" "ratio" "rsync" "cpu"
row "nothing changed" "$update_ours" "$update_ours_cpu" "$update_cp" "$update_cp_cpu" "$update_rsync" "$update_rsync_cpu"
row "first copy" "$copy_ours" "$copy_ours_cpu" "$copy_cp" "$copy_cp_cpu" "$copy_rsync" "$copy_rsync_cpu"
row "a tenth changed" "$changed_ours" "$changed_ours_cpu" "$changed_cp" "$changed_cp_cpu" "$changed_rsync" "$changed_rsync_cpu"
row "one 1 GiB file" "$big_ours" "$big_ours_cpu" "$big_cp" "$big_cp_cpu" "$big_rsync" "$big_rsync_cpu"
echo
echo "peak memory, nothing changed: 50,000 files ${peak_large} KiB, 500 files ${peak_small} KiB," \
  "difference $((peak_large - peak_small)) KiB"

# System calls on the 500-file tree.
calls() {
  strace -f -c -o "$scratch/strace.txt" "$@" >/dev/null 2>&1
  awk '$NF == "total" { print $4 }' "$scratch/strace.txt"
}
rm -rf "$scratch/small-new"
echo "system calls, 500 files: nothing changed engine $(calls "$engine" "$scratch/small" "$scratch/small-copy")," \
  "cp $(calls cp -ru --preserve=timestamps "$scratch/small/." "$scratch/small-copy/");" \
  "first copy engine $(calls "$engine" "$scratch/small" "$scratch/small-new")," \
  "cp $(rm -rf "$scratch/small-new"; calls cp -r --preserve=timestamps "$scratch/small" "$scratch/small-new")"
rm -rf "$scratch/small-copy" "$scratch/small-new"
